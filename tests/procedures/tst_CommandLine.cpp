#include "app/CommandLine.h"

#include <QTest>

using Outcome = CommandLine::Outcome;

// The command line as the program reads it, before any window exists.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_CommandLine::parse_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<Outcome>("outcome");
    // "0 90" is Record with a 90-second timed stop; for a refusal, a word of the reason
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing") << "" << Outcome::Run << "";
    QTest::newRow("toggle") << "--toggle" << Outcome::Run << "2 0";
    QTest::newRow("record for 1h30m") << "--record --stop-after 1h30m" << Outcome::Run << "0 5400";
    QTest::newRow("stop-after first") << "--stop-after=45s --record" << Outcome::Run << "0 45";
    QTest::newRow("help") << "--help" << Outcome::ShowHelp << "--toggle";
    QTest::newRow("version") << "-v" << Outcome::ShowVersion << "2.10";
    QTest::newRow("unknown") << "--recrod" << Outcome::Refuse << "“--recrod”";
    QTest::newRow("two commands") << "--record --stop" << Outcome::Refuse << "一次只能用一个";
    QTest::newRow("stop-after, stop") << "--stop --stop-after 5m" << Outcome::Refuse << "--record";
    QTest::newRow("no duration") << "--record --stop-after" << Outcome::Refuse << "--stop-after";
    QTest::newRow("1H2M3S") << "--record --stop-after 1H2M3S" << Outcome::Run << "0 3723";
    QTest::newRow("zero") << "--record --stop-after 0s" << Outcome::Refuse << "“0s”";
    QTest::newRow("no unit") << "--record --stop-after 90" << Outcome::Refuse << "“90”";
    QTest::newRow("out of order") << "--record --stop-after 30m1h" << Outcome::Refuse << "“30m1h”";
    QTest::newRow("fraction") << "--record --stop-after 1.5h" << Outcome::Refuse << "“1.5h”";
    QTest::newRow("huge") << "--record --stop-after 9999999999h" << Outcome::Refuse
                          << "“9999999999h”";
    QTest::newRow("past a day") << "--record --stop-after 24h1s" << Outcome::Refuse << "24 小时";
    QTest::newRow("a file") << "--record lecture.wav" << Outcome::Refuse << "“lecture.wav”";
}

void tst_CommandLine::parse()
{
    QFETCH(QString, arguments);
    QFETCH(Outcome, outcome);
    QFETCH(QString, expected);
    const QStringList words = arguments.split(u' ', Qt::SkipEmptyParts);
    const CommandLine line = CommandLine::parse(QStringList{QStringLiteral("tapewren")} + words);

    QCOMPARE(line.outcome, outcome);
    if (outcome != Outcome::Run) {
        QVERIFY2(line.text.contains(expected), qPrintable(line.text));
        QVERIFY(outcome != Outcome::Refuse || !line.text.contains(u'\n')); // one line
    } else if (line.command) {
        QCOMPARE(QStringLiteral("%1 %2")
                         .arg(int(line.command->command))
                         .arg(line.command->stopAfter.count()),
                 expected);
    } else {
        QVERIFY(expected.isEmpty());
    }
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
