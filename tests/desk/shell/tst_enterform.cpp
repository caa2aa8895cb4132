#include "TestDesk.h"
#include "shell/EnterForm.h"
#include "shell/Modsoundcontrol.h"

#include <QPushButton>

/// A screen that unloads itself from its own button, as many screens do.
class SelfClosingScreen : public QWidget
{
public:
    explicit SelfClosingScreen(DeskContext &context)
        : m_context(context)
    {
        auto *button = new QPushButton(QStringLiteral("E&XIT"), this);
        button->setObjectName(QStringLiteral("exit"));
        connect(button, &QPushButton::clicked, this, [this] {
            m_context.navigator.unload<SelfClosingScreen>();
            // Still safe to touch this screen until the handler returns.
            setProperty("afterUnload", true);
        });
    }
    DeskContext &m_context;
};

class TestEnterForm : public QObject
{
    Q_OBJECT

private slots:
    void startsWithoutTitleBarOrReenter()
    {
        TestDesk desk;
        auto *enter = desk.navigator.open<EnterForm>();
        QVERIFY(enter->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(enter->isVisible());
        QVERIFY(!enter->findChild<QPushButton *>(QStringLiteral("reenter"))->isVisible());
        for (const char *name : {"Command1", "Command3", "Command2"})
            QVERIFY(enter->findChild<QPushButton *>(QLatin1String(name))->isVisible());
        enter->showReenter();
        QVERIFY(enter->findChild<QPushButton *>(QStringLiteral("reenter"))->isVisible());
        // Nothing is read or written at start-up.
        QVERIFY(QDir(desk.programDir()).isEmpty());
    }

    void greetingsFollowTheSoundSwitch_data()
    {
        QTest::addColumn<int>("stored"); // -1: no file
        QTest::addColumn<bool>("speaks");
        QTest::addRow("no switch file") << -1 << true;
        QTest::addRow("sound on") << 1 << true;
        QTest::addRow("sound off") << 0 << false;
    }
    void greetingsFollowTheSoundSwitch()
    {
        QFETCH(int, stored);
        QFETCH(bool, speaks);
        TestDesk desk;
        if (stored >= 0)
            QVERIFY(Modsoundcontrol(desk.files).storeSoundSetting(stored == 1));
        auto *enter = desk.navigator.open<EnterForm>();
        TestDesk::click(enter, QStringLiteral("Command2"));
        QCOMPARE(desk.quits, 1);
        QCOMPARE(desk.speaker.spoken, speaks ? QStringList{QStringLiteral("Goodbye")} : QStringList{});
    }

    void navigatorKeepsOneInstance()
    {
        TestDesk desk;
        auto *first = desk.navigator.load<EnterForm>();
        QCOMPARE(desk.navigator.load<EnterForm>(), first);
        QCOMPARE(desk.navigator.loaded<EnterForm>(), first);
        desk.navigator.unload<EnterForm>();
        QVERIFY(!desk.navigator.loaded<EnterForm>());
        TestDesk::settle();
        // A fresh load starts from the design-time state again.
        auto *second = desk.navigator.load<EnterForm>();
        QVERIFY(!second->findChild<QPushButton *>(QStringLiteral("reenter"))->isVisibleTo(second));
    }

    void screenMayUnloadItselfFromItsOwnButton()
    {
        TestDesk desk;
        QPointer<SelfClosingScreen> screen = desk.navigator.open<SelfClosingScreen>();
        TestDesk::click(screen, QStringLiteral("exit"));
        QVERIFY(!desk.navigator.loaded<SelfClosingScreen>());
        QVERIFY(screen.isNull());
    }
};

QTEST_MAIN(TestEnterForm)
#include "tst_enterform.moc"
