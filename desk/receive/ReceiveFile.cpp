#include "ReceiveFile.h"

#include "InboxForm.h"
#include "Received.h"
#include "compose/AttachmentStream.h"
#include "compose/MessageFile.h"
#include "platform/FilePicker.h"
#include "platform/Prompter.h"
#include "shell/DeskContext.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/SettingFiles.h"
#include "shell/TaskProgress.h"
#include "shell/WindowChrome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>

namespace {

// Copies a file in pieces, so a large attachment costs little memory.
std::optional<QString> copyWhole(QFile &source, QSaveFile &target)
{
    constexpr qint64 piece = 4 * 1024 * 1024;
    while (!source.atEnd()) {
        const QByteArray bytes = source.read(piece);
        if (bytes.isEmpty())
            return source.errorString();
        if (target.write(bytes) != bytes.size())
            return target.errorString();
    }
    if (!target.commit())
        return target.errorString();
    return std::nullopt;
}

constexpr SettingFile everySettingFile[] = {
    Setting::SaveDir, Setting::ReceiveDir, Setting::SendDir, Setting::AttachmentDir, Setting::WinTnc,
    Setting::Winlink, Setting::Splitter, Setting::Soundmodem, Setting::Direwolf, Setting::EasyTerm, Setting::VarAc,
    Setting::NprModem, Setting::SoundSettings, Setting::SoundState, Setting::AutoSaveStore, Setting::AutoSaveLoad,
    Setting::WinTncButton, Setting::SoundmodemButton, Setting::WinlinkButton, Setting::DirewolfButton,
    Setting::SplitterButton, Setting::EasyTermButton, Setting::NprModemButton, Setting::VarAcButton,
    Setting::MailHandOver, Setting::AttachmentHandOver, Setting::SavedMessageHandOver};

// Names a received attachment never takes, whether or not such a file lies
// there now: both programs (they may stand in one folder), and every setting
// and hand-over file, which the desk reads with any letter case.
bool isReservedName(const QString &name)
{
    QStringList reserved = {QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                            QStringLiteral("tavrixdesk"), QStringLiteral("tavrixportal")};
    for (const QString &program : QStringList(reserved))
        reserved << program + QStringLiteral(".exe");
    for (const SettingFile &file : everySettingFile)
        reserved << QString::fromLatin1(file.name);
    return reserved.contains(name, Qt::CaseInsensitive);
}

// Why an attachment may not be written at `target`; nothing when it may.
std::optional<QString> refusalFor(const QString &target, const SettingFiles &files)
{
    const QFileInfo info(target);
    const QString name = info.fileName();
    if (isReservedName(name))
        return QObject::tr("the sender's file name \"%1\" is the name of a program or of a setting file of this "
                           "station, which a received file never replaces.")
            .arg(name);
    for (const SettingFile &file : everySettingFile)
        if (QFileInfo(files.path(file)).absoluteFilePath().compare(info.absoluteFilePath(), Qt::CaseInsensitive) == 0)
            return QObject::tr("%1 is a setting file of this station, which a received file never replaces.")
                .arg(QDir::toNativeSeparators(target));
    if (info.isSymLink())
        return QObject::tr("%1 is a link to another place; a received file is never written through it.")
            .arg(QDir::toNativeSeparators(target));
    if (info.isDir())
        return QObject::tr("%1 is a folder.").arg(QDir::toNativeSeparators(target));
    if (info.exists() && info.isExecutable())
        return QObject::tr("%1 is an executable file, which a received file never replaces.")
            .arg(QDir::toNativeSeparators(target));
    return std::nullopt;
}

constexpr QFileDevice::Permissions executeBits =
    QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ExeGroup | QFileDevice::ExeOther;

} // namespace

ReceiveFile::ReceiveFile(DeskContext &context)
    : m_context(context)
    , m_boxes(this, {})
{
    setObjectName(QStringLiteral("receivefile"));
    setWindowTitle(QStringLiteral("Receive a sent attachment"));
    auto *layout = makeScreenFrame<QGridLayout>(this);

    auto *savedPath = new PathBox(this);
    savedPath->setToolTipLead(tr("Click here, or press Enter, to save a copy elsewhere"));
    m_savedPath = savedPath;
    m_savedPath->setObjectName(QStringLiteral("Text5"));
    onBoxActivated(m_savedPath, [this] { saveCopy(); });
    auto *instruction = new QLabel(QStringLiteral("Click On File To Save"), this);
    instruction->setObjectName(QStringLiteral("Label2"));
    instruction->setBuddy(m_savedPath);
    auto *exitButton = makeColouredButton(this, "Command2", QStringLiteral("E&XIT"), modUIColorPalette::red);
    connect(exitButton, &QPushButton::clicked, this, &ReceiveFile::exitToMainMenu);

    layout->addWidget(makeHeading(this, "Label1", QStringLiteral("Packet Mail Form"), 20), 0, 0, 1, 2);
    layout->addWidget(m_boxes.to, 1, 0, 1, 2);
    layout->addWidget(m_boxes.subject, 2, 0, 1, 2);
    layout->addWidget(m_boxes.message, 3, 0, 1, 2);
    layout->addWidget(m_boxes.from, 4, 0, 1, 2);
    layout->addWidget(instruction, 5, 0);
    layout->addWidget(m_savedPath, 5, 1);
    layout->addWidget(exitButton, 6, 0, 1, 2);

    // Load steps.
    ResetFields();
    const QString handOver = m_context.files.path(Setting::AttachmentHandOver);
    if (QFile::exists(handOver))
        DecodeAttachment(handOver);
    else
        m_context.prompter.inform(QStringLiteral("Error: temp file not found!"));
    if (auto *list = m_context.navigator.loaded<Received>())
        list->hide();
    removeCaptionBar(this);
}

void ReceiveFile::ResetFields()
{
    m_boxes.setFields({QStringLiteral("To: "), QStringLiteral("Subject: "), QStringLiteral("Your Message: "),
                       QStringLiteral("From: ")});
    m_savedPath->clear();
}

void ReceiveFile::fail(const QString &why)
{
    m_context.prompter.inform(tr("The attachment could not be received: %1").arg(why), Prompter::Icon::Critical);
}

void ReceiveFile::DecodeAttachment(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        fail(tr("%1 cannot be read (%2).").arg(QDir::toNativeSeparators(path), in.errorString()));
        return;
    }
    AttachmentStream::Reader reader(in);
    const auto header = reader.readHeader();
    if (!header) {
        if (reader.isFormatError())
            m_context.prompter.inform(reader.error(), Prompter::Icon::Critical);
        else
            fail(reader.error());
        return;
    }
    m_boxes.setFields({header->to, header->subject, header->message, header->from});

    // The sender's name never leads outside the program's folder.
    const QString name = MessageFile::safeFileName(header->fileName);
    if (name.isEmpty()) {
        fail(tr("the sender's file name \"%1\" is not a file name that can be used here.").arg(header->fileName));
        return;
    }
    const QString target = QDir(m_context.files.programDirectory()).filePath(name);
    if (const auto refusal = refusalFor(target, m_context.files)) {
        fail(*refusal);
        return;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        fail(tr("%1 cannot be written (%2).").arg(QDir::toNativeSeparators(target), out.errorString()));
        return;
    }
    TaskProgress progress(this, tr("Receiving %1...").arg(name));
    if (!reader.readData(out, progress.callback())) {
        out.cancelWriting();
        out.commit();
        fail(reader.error());
        return;
    }
    // Received bytes are data, never a program that a click would start.
    if (out.permissions() & executeBits)
        out.setPermissions(out.permissions() & ~executeBits);
    if (!out.commit()) {
        fail(tr("%1 cannot be written (%2).").arg(QDir::toNativeSeparators(target), out.errorString()));
        return;
    }
    m_savedPath->setText(QDir::toNativeSeparators(target));
    if (reader.hasMoreEntries()) {
        m_context.prompter.inform(tr("The message file holds more than this one attachment, and only the first "
                                     "one was received. The file is kept in the receive folder, so that nothing "
                                     "in it is lost."),
                                  Prompter::Icon::Exclamation);
        return;
    }
    if (reader.endIsUncertain()) {
        m_context.prompter.inform(tr("The line ends of this message were changed on the way, so it cannot be "
                                     "checked that %1 holds exactly what was sent and no part of a further "
                                     "message. The message file is kept in the receive folder.")
                                      .arg(QDir::toNativeSeparators(target)),
                                  Prompter::Icon::Exclamation);
        return;
    }
    m_tookWholeMessage = true;
}

void ReceiveFile::saveCopy()
{
    const QString source = QDir::fromNativeSeparators(m_savedPath->text());
    const QString proposed = MessageFile::fileNamePart(source);
    const QString destination =
        m_context.filePicker.saveFile(QStringLiteral("Save Attachment As"), QStringLiteral("All Files (*)"), proposed);
    if (destination.isEmpty()) {
        m_context.prompter.inform(QStringLiteral("No destination selected."), Prompter::Icon::Exclamation);
        return;
    }
    if (proposed.isEmpty()) {
        m_context.prompter.inform(QStringLiteral("Error: Received file not found!"), Prompter::Icon::Critical);
        return;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly) || in.size() == 0) {
        m_context.prompter.inform(QStringLiteral("Error: File is empty or unreadable!"), Prompter::Icon::Critical);
        return;
    }
    QSaveFile out(destination);
    std::optional<QString> failure;
    if (!out.open(QIODevice::WriteOnly))
        failure = out.errorString();
    else
        failure = copyWhole(in, out);
    if (failure) {
        m_context.prompter.inform(tr("The copy could not be saved to %1: %2")
                                      .arg(QDir::toNativeSeparators(destination), *failure),
                                  Prompter::Icon::Critical);
        return;
    }
    m_context.prompter.inform(QStringLiteral("File successfully saved to: ") + QDir::toNativeSeparators(destination),
                              Prompter::Icon::Information);
    ResetFields();
}

void ReceiveFile::exitToMainMenu()
{
    Navigator &navigator = m_context.navigator;
    // A reader loaded later starts with all its buttons again.
    navigator.unload<InboxForm>();
    navigator.unload<ReceiveFile>();
    returnToMainMenu(m_context);
}
