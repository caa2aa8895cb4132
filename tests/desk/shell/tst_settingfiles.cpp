#include <QTest>
class TestSettingFiles : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestSettingFiles)
#include "tst_settingfiles.moc"
