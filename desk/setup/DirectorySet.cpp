#include "DirectorySet.h"

#include "DirectoryBrowser.h"
#include "launcher/Rodiruverezer.h"
#include "shell/DeskContext.h"
#include "shell/Navigator.h"
#include "shell/WindowChrome.h"
#include "platform/Prompter.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor lightGreen{128, 255, 128};

} // namespace

DirectorySet::DirectorySet(const DirectorySetRow &row, DeskContext &context, const QString &start,
                           QWidget *parent)
    : QWidget(parent)
    , m_row(row)
    , m_context(context)
{
    setObjectName(QStringLiteral("DirectorySet%1").arg(row.number));

    auto *caption = new QLabel(this);
    caption->setTextFormat(Qt::PlainText);
    caption->setText(QString::fromUtf8(row.caption));
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignCenter);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    m_caption = caption;
    setCaptionLines(2);

    m_browser = new DirectoryBrowser(row.number, start, this);
    caption->setBuddy(m_browser->driveList());

    auto *display = new PathBox(this);
    display->setToolTipLead(QStringLiteral("The value stored by ENTER"));
    useListFont(display);
    m_display = display;
    m_display->setObjectName(QLatin1String(row.displayBox));
    m_display->setFocusPolicy(Qt::ClickFocus);
    // Tinted so it does not look like a box to type into.
    QPalette tint = m_display->palette();
    tint.setColor(QPalette::Base, QColor(255, 255, 220));
    m_display->setPalette(tint);

    m_enterButton = makeColouredButton(this, row.enterButton, QStringLiteral("ENTER"), lightGreen, 10);
    m_enterButton->setMinimumHeight(30);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(caption);
    layout->addWidget(m_browser, 1);

    if (const NewDirectoryBox *box = row.newDirectory) {
        m_nameBox = new QLineEdit(QDir::separator() + QString::fromUtf8(box->defaultName), this);
        m_nameBox->setObjectName(QLatin1String(box->nameBox));
        m_createButton = new QPushButton(QString::fromUtf8(box->createCaption), this);
        m_createButton->setObjectName(QLatin1String(box->createButton));
        layout->addWidget(m_nameBox);
        layout->addWidget(m_createButton);
        connect(m_createButton, &QPushButton::clicked, this, &DirectorySet::createDirectory);
        // Enter in the name box creates, as the button beside it would.
        connect(m_nameBox, &QLineEdit::returnPressed, this, &DirectorySet::createDirectory);
    }

    // The stored value and the button that stores it share a line.
    auto *stored = new QHBoxLayout;
    stored->setSpacing(4);
    stored->addWidget(m_display, 1);
    stored->addWidget(m_enterButton);
    layout->addLayout(stored);

    connect(m_enterButton, &QPushButton::clicked, this, &DirectorySet::store);
    connect(m_browser, &DirectoryBrowser::directoryChanged, this, &DirectorySet::storeChangedDirectory);
    connect(m_browser, &DirectoryBrowser::refused, this, &DirectorySet::refuse);
}

void DirectorySet::setCaptionLines(int lines)
{
    // The same room in every set of a row, so their lists line up.
    m_caption->setMinimumHeight(lines * m_caption->fontMetrics().lineSpacing());
}

void DirectorySet::store()
{
    // A directory setting is the directory alone: a file highlighted in a
    // working-directory set would turn it into a path no reader can use.
    const QString highlighted = m_row.kind == SetKind::Program ? m_browser->highlightedFile() : QString();
    const QString value = DirectoryPaths::settingValue(m_row.kind, m_browser->directory(), highlighted);
    // One write of the final value, so a failure never leaves a half choice.
    if (const Outcome stored = m_context.files.writePrintLine(m_row.file, value); !stored) {
        const QString text = m_row.enterFailure ? QString::fromUtf8(m_row.enterFailure)
                                                : QStringLiteral("An error has occurred: ") + stored.error();
        m_context.prompter.inform(text, Prompter::Icon::Critical);
        return;
    }
    m_display->setText(value);
    // The launcher reads the stored values when it is loaded next.
    m_context.navigator.unload<Rodiruverezer>();
}

void DirectorySet::storeChangedDirectory(const QString &directory)
{
    if (!m_row.storesAtChange)
        return;
    if (const Outcome stored = m_context.files.writePrintLine(m_row.file, directory); !stored) {
        m_context.prompter.inform(QStringLiteral("Error saving directory path: ") + stored.error(),
                                  Prompter::Icon::Critical);
        return;
    }
    m_context.navigator.unload<Rodiruverezer>();
}

void DirectorySet::createDirectory()
{
    if (!m_nameBox)
        return;
    const QString path = DirectoryPaths::newDirectoryPath(m_browser->directory(), m_nameBox->text());
    if (path.isEmpty()) {
        m_context.prompter.inform(QStringLiteral("Please enter a folder name."), Prompter::Icon::Exclamation);
        return;
    }
    const Result<bool> created = DirectoryPaths::makeDirectory(path);
    if (!created) {
        m_context.prompter.inform(QString::fromUtf8(m_row.newDirectory->errorPrefix) + created.error(),
                                  Prompter::Icon::Critical);
        return;
    }
    m_context.prompter.inform((*created ? QStringLiteral("Directory created: ") : QStringLiteral("Directory already exists: "))
                                  + path,
                              Prompter::Icon::Information);
    m_nameBox->clear();
}

void DirectorySet::refuse(const QString &reason)
{
    m_context.prompter.inform(reason, Prompter::Icon::Exclamation);
}
