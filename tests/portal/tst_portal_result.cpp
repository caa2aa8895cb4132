#include "PortalOutcome.h"

#include <QStringList>
#include <QTest>

class PortalResultTest : public QObject
{
    Q_OBJECT

private slots:
    void carriesValueOrCause_data();
    void carriesValueOrCause();
    void movesHeavyValues();
};

namespace {

enum class Made { Value, Failure, EmptyFailure, Success };

PortalResult<int> make(Made how, int value, const QString &why)
{
    switch (how) {
    case Made::Value: return value;
    case Made::Failure: return PortalOutcome::failure(why);
    case Made::EmptyFailure: return PortalOutcome::failure(QString());
    case Made::Success: return PortalOutcome();
    }
    return PortalOutcome::failure(QStringLiteral("not reached"));
}

} // namespace

void PortalResultTest::carriesValueOrCause_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("why");
    QTest::addColumn<bool>("ok");

    QTest::newRow("a value") << int(Made::Value) << 42 << QString() << true;
    QTest::newRow("zero is a value too") << int(Made::Value) << 0 << QString() << true;
    QTest::newRow("a failure keeps its words") << int(Made::Failure) << 0
                                               << QStringLiteral("Connection refused") << false;
    QTest::newRow("a failure without words still fails") << int(Made::EmptyFailure) << 0 << QString() << false;
    // An outcome that says success but brings no value must not pass for one.
    QTest::newRow("a success outcome without a value") << int(Made::Success) << 0 << QString() << false;
}

void PortalResultTest::carriesValueOrCause()
{
    QFETCH(int, how);
    QFETCH(int, value);
    QFETCH(QString, why);
    QFETCH(bool, ok);

    const PortalResult<int> result = make(Made(how), value, why);
    QCOMPARE(result.ok(), ok);
    QCOMPARE(bool(result), ok);
    QCOMPARE(result.outcome().ok(), ok);
    if (ok) {
        QCOMPARE(result.value(), value);
        QCOMPARE(*result, value);
        QVERIFY(result.why().isEmpty());
    } else {
        QVERIFY(!result.why().isEmpty());
        QCOMPARE(result.outcome().why(), result.why());
        if (!why.isEmpty())
            QCOMPARE(result.why(), why);
    }
}

void PortalResultTest::movesHeavyValues()
{
    const QStringList lines{QStringLiteral("one"), QStringLiteral("two")};
    const PortalResult<QStringList> result = lines;
    QVERIFY(result.ok());
    QCOMPARE(result->size(), 2);
    QCOMPARE(result.value(), lines);

    const PortalResult<QStringList> failed = PortalOutcome::failure(QStringLiteral("gone"));
    QVERIFY(!failed);
    QVERIFY(failed->isEmpty());
    QCOMPARE(failed.why(), QStringLiteral("gone"));
}

QTEST_GUILESS_MAIN(PortalResultTest)
#include "tst_portal_result.moc"
