#include "PortalFakes.h"
#include "StationListBox.h"
#include "StatusBox.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

class PortalWindowPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void stationsAddedAndDeleted_data();
    void stationsAddedAndDeleted();
    void deletingNeedsASelection();
    void pickingShowsTheAddress_data();
    void pickingShowsTheAddress();
    void boxesKeepTheirLimits_data();
    void boxesKeepTheirLimits();
    void lastLinesDropLeadingBlanks();
};

namespace {

/// A station list box on its own controls.
struct Stations
{
    Stations()
        : box(&entry, &list, &address, store, prompter)
    {
    }
    QStringList shown() const
    {
        QStringList texts;
        for (int i = 0; i < list.count(); ++i)
            texts << list.item(i)->text();
        return texts;
    }
    QLineEdit entry;
    QListWidget list;
    QLineEdit address;
    FakeStationStore store;
    FakePrompter prompter;
    StationListBox box;
};

} // namespace

void PortalWindowPartsTest::stationsAddedAndDeleted_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addRow("stored") << QString();
    QTest::addRow("store fails") << QStringLiteral("disk full");
}

void PortalWindowPartsTest::stationsAddedAndDeleted()
{
    QFETCH(QString, failure);
    Stations s;
    s.store.entries = {QStringLiteral("N0AAA-10.0.0.1"), QStringLiteral("N0BBB-10.0.0.2")};
    s.box.load();
    QCOMPARE(s.shown(), s.store.entries);
    const QStringList before = s.store.entries;
    s.store.failure = failure;

    s.entry.setText(QStringLiteral("  N0CCC-10.0.0.3  "));
    s.box.add();
    // The list shows it either way; only the store's failure is told.
    QCOMPARE(s.shown().last(), QStringLiteral("N0CCC-10.0.0.3"));
    QCOMPARE(s.entry.text(), QString());
    QCOMPARE(s.store.entries.size(), failure.isEmpty() ? 3 : 2);
    QCOMPARE(s.prompter.texts.size(), failure.isEmpty() ? 0 : 1);
    if (!failure.isEmpty())
        QVERIFY(s.prompter.texts.first().contains(u"[ADD ERR") && s.prompter.texts.first().contains(failure));

    s.list.setCurrentRow(0);
    s.list.item(0)->setSelected(true);
    s.address.setText(QStringLiteral("unchanged"));
    s.box.remove();
    QCOMPARE(s.shown(), QStringList({QStringLiteral("N0BBB-10.0.0.2"), QStringLiteral("N0CCC-10.0.0.3")}));
    // Deleting picks no neighbour: the address line keeps what it had.
    QCOMPARE(s.address.text(), QStringLiteral("unchanged"));
    QCOMPARE(s.list.currentRow(), -1);
    if (failure.isEmpty()) {
        QCOMPARE(s.store.entries, s.shown());
    } else {
        QCOMPARE(s.store.entries, before);
        QVERIFY(s.prompter.texts.last().contains(u"[DELETE ERR"));
    }
}

void PortalWindowPartsTest::deletingNeedsASelection()
{
    Stations s;
    s.store.entries = {QStringLiteral("N0AAA-10.0.0.1")};
    s.box.load();
    s.box.remove();
    QCOMPARE(s.prompter.texts, QStringList(QStringLiteral("Please select an item to delete.")));
    QCOMPARE(s.shown().size(), 1);
    s.entry.setText(QStringLiteral("   "));
    s.box.add();
    QCOMPARE(s.prompter.texts.last(), QStringLiteral("Please type something first."));
    QCOMPARE(s.shown().size(), 1);
    QCOMPARE(s.store.entries.size(), 1);
}

void PortalWindowPartsTest::pickingShowsTheAddress_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("address");
    QTest::addRow("callsign and address") << "N0AAA-10.0.0.1" << "10.0.0.1";
    QTest::addRow("with ssid") << "N0AAA-2-192.168.1.20" << "192.168.1.20";
}

void PortalWindowPartsTest::pickingShowsTheAddress()
{
    QFETCH(QString, entry);
    QFETCH(QString, address);
    Stations s;
    s.store.entries = {QStringLiteral("N0ZZZ-10.9.9.9"), entry};
    s.box.load();
    s.list.setCurrentRow(1);
    QCOMPARE(s.address.text(), address);
    QCOMPARE(s.list.item(1)->toolTip(), entry);
}

void PortalWindowPartsTest::boxesKeepTheirLimits_data()
{
    QTest::addColumn<bool>("onTop");
    QTest::addRow("newest on top") << true;
    QTest::addRow("newest at the end") << false;
}

void PortalWindowPartsTest::boxesKeepTheirLimits()
{
    QFETCH(bool, onTop);
    QPlainTextEdit box;
    const auto add = [&](const QString &line) {
        if (onTop)
            StatusBox::prepend(&box, line);
        else
            StatusBox::appendLine(&box, line);
    };
    for (int i = 0; i < StatusBox::lineLimit + 50; ++i)
        add(QStringLiteral("line %1").arg(i));
    const QString newest = QStringLiteral("line %1").arg(StatusBox::lineLimit + 49);
    const QTextDocument *document = box.document();
    QVERIFY(document->blockCount() <= StatusBox::lineLimit + 1);
    QCOMPARE((onTop ? document->firstBlock() : document->lastBlock().previous()).text(), newest);
    QVERIFY(!box.toPlainText().contains(QStringLiteral("line 49\n")));

    // Long lines: the characters are bounded long before the line count is reached.
    box.clear();
    for (int i = 0; i < 200; ++i)
        add(QString(5000, QChar(u'a' + i % 26)));
    QVERIFY(document->characterCount() <= StatusBox::characterLimit + StatusBox::longestLine + 2);
    const QString kept = onTop ? document->firstBlock().text() : document->lastBlock().previous().text();
    QVERIFY(kept.size() <= StatusBox::longestLine);
    QVERIFY(kept.startsWith(QChar(u'a' + 199 % 26)));
}

void PortalWindowPartsTest::lastLinesDropLeadingBlanks()
{
    QPlainTextEdit box;
    StatusBox::addBelow(&box, QStringLiteral("one"));
    for (int i = 0; i < 12; ++i)
        StatusBox::appendLine(&box, QStringLiteral("more %1").arg(i));
    StatusBox::keepLastLines(&box, 10);
    QCOMPARE(box.document()->blockCount(), 10);
    QCOMPARE(box.document()->firstBlock().text(), QStringLiteral("more 3"));

    // Blank lines the cut leaves on top go too.
    box.setPlainText(QStringLiteral("old\n\n\nnew\n"));
    StatusBox::keepLastLines(&box, 4);
    QCOMPARE(box.toPlainText(), QStringLiteral("new\n"));
}

QTEST_MAIN(PortalWindowPartsTest)
#include "tst_portal_windowparts.moc"
