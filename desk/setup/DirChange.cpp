#include "DirChange.h"

#include "DirectoryBrowser.h"
#include "DirectorySet.h"
#include "shell/DeskContext.h"
#include "shell/EnterForm.h"
#include "shell/MainMenu.h"
#include "shell/Navigator.h"
#include "shell/WindowChrome.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QKeySequence>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr NewDirectoryBox saveBox{"Text1", "MAIL SAVE", "CmdCreatDir", "Create Sa&ve Directory",
                                  "Error creating directory: "};
constexpr NewDirectoryBox receiveBox{"Text2", "MAIL RECEIVE", "Cmdcreatrecieve", "Create &Receive Directory",
                                     "Error creating directory: "};
constexpr NewDirectoryBox sendBox{"Text4", "MAIL SEND", "Command2", "Create Se&nd Directory",
                                  "Cannot create directory: "};
constexpr NewDirectoryBox attachmentBox{"Text7", "MAIL ATTACHMENT", "Command7", "Create &Attachment Directory",
                                        "Cannot create directory: "};

constexpr DirectorySetRow rows[] = {
    {1, "Set DRIVE and DIRECTORY to SAVE ", SetKind::Directory, "Text8", "Command9", Setting::SaveDir, false,
     nullptr, &saveBox},
    {2, "Set DRIVE and DIRECTORY to RECEIVE ", SetKind::Directory, "Text9", "Command10", Setting::ReceiveDir, false,
     nullptr, &receiveBox},
    {3, "Set drive for WINTNC Program", SetKind::Program, "Text3", "Command3", Setting::WinTnc, false, nullptr,
     nullptr},
    // The outbox is stored at every change, like the sets after it.
    {4, "Set DRIVE and DIRECTORY to SEND ", SetKind::Directory, "Text10", "Command11", Setting::SendDir, true,
     nullptr, &sendBox},
    {5, "Set Drive For WINLINK Program", SetKind::Program, "Text5", "Command4", Setting::Winlink, false,
     "Something went wrong\u2014possibly an invalid path. Please try again.", nullptr},
    {6, "       Serial Port      Splitter", SetKind::Program, "Text6", "Command6", Setting::Splitter, true, nullptr,
     nullptr},
    {7, "  Set DRIVE and DIRECTORY to Save Attached  Files", SetKind::Directory, "Text12", "Command13",
     Setting::AttachmentDir, true, nullptr, &attachmentBox},
    {8, "Set Drive for Soundmodem", SetKind::Program, "Text13", "Command14", Setting::Soundmodem, true, nullptr,
     nullptr},
    {9, "  Set Drive for Direwolf", SetKind::Program, "Text14", "Command15", Setting::Direwolf, true, nullptr,
     nullptr},
    {10, "Set Drive For EASYTERM Program", SetKind::Program, "Text11", "Command12", Setting::EasyTerm, true, nullptr,
     nullptr},
    {11, "Set Drive for VARAC", SetKind::Program, "Text15", "Command16", Setting::VarAc, true, nullptr, nullptr},
    {12, "       NPR        Modem", SetKind::Program, "Text16", "Command17", Setting::NprModem, true, nullptr,
     nullptr},
};

const QColor lightGreen{128, 255, 128};
constexpr int columns = 4;

} // namespace

DirChange::DirChange(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("DIRCHANGE"));
    setWindowTitle(QStringLiteral("Form1"));
    removeCaptionBar(this);
    auto *layout = makeScreenFrame<QVBoxLayout>(this, screenMargins::tight);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("groups"));
    auto *storage = new QWidget;
    auto *communication = new QWidget;
    auto *storageGrid = new QGridLayout(storage);
    auto *communicationGrid = new QGridLayout(communication);
    tabs->addTab(storage, QStringLiteral("&STORAGE FILES"));
    tabs->addTab(communication, QStringLiteral("&COMMUNICATION"));
    QFont tabFont = tabs->tabBar()->font();
    tabFont.setBold(true);
    tabs->tabBar()->setFont(tabFont);

    const QString start = QDir::currentPath();
    int storageCount = 0;
    int programCount = 0;
    for (const DirectorySetRow &row : rows) {
        auto *set = new DirectorySet(row, m_context, start);
        m_sets.append(set);
        // Every set's button says "ENTER", so the letters of the caption
        // cannot tell them apart: each takes the digit of its place on its tab.
        const int place = row.kind == SetKind::Directory ? storageCount : programCount;
        const QKeySequence key(Qt::ALT | Qt::Key(Qt::Key_1 + place));
        set->enterButton()->setShortcut(key);
        set->enterButton()->setToolTip(key.toString(QKeySequence::NativeText));
        if (row.kind == SetKind::Directory) {
            storageGrid->addWidget(set, 0, storageCount++);
        } else {
            // Two rows of programs share the height: their captions fit one line.
            set->setCaptionLines(1);
            communicationGrid->addWidget(set, programCount / columns, programCount % columns);
            ++programCount;
        }
    }
    for (int column = 0; column < columns; ++column) {
        storageGrid->setColumnStretch(column, 1);
        communicationGrid->setColumnStretch(column, 1);
    }

    auto *saveAll = new QPushButton(QStringLiteral("Click here to save all  Newly Created &Directories"), this);
    saveAll->setObjectName(QStringLiteral("Command8"));
    saveAll->setMinimumHeight(40);
    auto *enterProgram = makeColouredButton(this, "Command1", QStringLiteral("&Enter Program"), lightGreen);
    auto *exit = makeColouredButton(this, "Command5", QStringLiteral("E&XIT"), modUIColorPalette::red);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(saveAll, 2);
    buttons->addWidget(enterProgram, 1);
    buttons->addWidget(exit, 1);

    layout->addWidget(tabs, 1);
    layout->addLayout(buttons);

    connect(saveAll, &QPushButton::clicked, this, &DirChange::reloadForNewDirectories);
    connect(enterProgram, &QPushButton::clicked, this, &DirChange::enterProgram);
    connect(exit, &QPushButton::clicked, this, &DirChange::exitToEntry);

    setTabOrder();
}

QSize DirChange::sizeHint() const
{
    // Twelve sets of lists: the setup takes all the room a screen may have.
    return largestScreenSize;
}

DirectorySet *DirChange::set(int number) const
{
    return number >= 1 && number <= m_sets.size() ? m_sets.at(number - 1) : nullptr;
}

void DirChange::setTabOrder()
{
    // The receive and save boxes come first; the other display boxes are
    // left out of the tab order. The send and attachment name boxes stay
    // in it, or their names could not be typed without a mouse.
    QList<QWidget *> order;
    for (int number : {2, 1})
        order << set(number)->display();
    for (int number : {2, 1})
        order << set(number)->nameBox();
    for (DirectorySet *directorySet : m_sets) {
        DirectoryBrowser *browser = directorySet->browser();
        order << browser->driveList() << browser->directoryList() << browser->fileList();
        if (directorySet->nameBox() && !order.contains(directorySet->nameBox()))
            order << directorySet->nameBox();
        if (directorySet->createButton())
            order << directorySet->createButton();
        order << directorySet->enterButton();
    }
    order << findChild<QPushButton *>(QStringLiteral("Command8")) << findChild<QPushButton *>(QStringLiteral("Command1"))
          << findChild<QPushButton *>(QStringLiteral("Command5")) << findChild<QTabWidget *>()->tabBar();
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    for (int number : {1, 2})
        set(number)->display()->setFocusPolicy(Qt::StrongFocus);
    order.first()->setFocus();
}

void DirChange::reloadForNewDirectories()
{
    // A fresh screen lists every directory again, the new ones included.
    Navigator &navigator = m_context.navigator;
    navigator.unload<DirChange>();
    navigator.open<DirChange>();
}

void DirChange::enterProgram()
{
    m_context.navigator.unload<DirChange>();
    MainMenu::open(m_context, MainMenu::Opener::DirectorySetup);
}

void DirChange::exitToEntry()
{
    // A fresh entry form, so its "&RE-ENTER" stays hidden.
    m_context.navigator.unload<EnterForm>();
    m_context.navigator.unload<DirChange>();
    m_context.navigator.open<EnterForm>();
}
