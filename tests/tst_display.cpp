// The display path through the main window: record decoding, units set-up, flow computation,
// the scrolling tables with their red newest row, the readouts and their colours, the needles,
// ClearDisplay, and conversion failures.

#include "app/DataGrid.h"
#include "app/DataTables.h"
#include "app/Dial.h"
#include "app/DialWidget.h"
#include "app/MainWindow.h"
#include "sources/SerialSource.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Texts.h"

#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

namespace {

QColor textColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

QStringList column(const DataGrid* grid, int c)
{
    QStringList out;
    for (int r = 0; r <= LastDataRow; ++r)
        out << grid->cell(c, r);
    return out;
}

// Everything a record can change, to show that a rejected one changes nothing.
struct Snapshot
{
    QStringList cells;
    QString speed, bearing, caption, format, units;
    QColor colour;
    QImage speedPicture, bearingPicture;
    DialFace face = DialFace::Knots;

    explicit Snapshot(WindowProbe& w)
    {
        for (const DataGrid* g : {w.computedTable, w.rawTable, w.computedUnits, w.rawUnits})
            cells << column(g, 0) << column(g, 1);
        speed = w.speedReadout->text();
        bearing = w.bearingReadout->text();
        caption = w.speedUnitsLabel->text();
        format = liveSpeedFormat(w->pipeline());
        units = w->pipeline().liveUnitsWord();
        colour = textColour(w.bearingReadout);
        speedPicture = w.speedDial->grab().toImage();
        bearingPicture = w.bearingDial->grab().toImage();
        face = w.speedDial->face();
    }
    bool operator==(const Snapshot& o) const
    {
        return cells == o.cells && speed == o.speed && bearing == o.bearing &&
               caption == o.caption && format == o.format && units == o.units &&
               colour == o.colour && speedPicture == o.speedPicture &&
               bearingPicture == o.bearingPicture && face == o.face;
    }
};

const QByteArray kFaceDown("[Options]\nOrientation=1\n");

} // namespace

class TestDisplay : public QObject
{
    Q_OBJECT
private slots:
    void speedReadoutNeverCutsADigit_data();
    void speedReadoutNeverCutsADigit();
    void acceptedRecordSetsUpUnitsAndRows_data();
    void acceptedRecordSetsUpUnitsAndRows();
    void rejectedTextChangesNothing_data();
    void rejectedTextChangesNothing();
    void computedSample_data();
    void computedSample();
    void bearingConventionAppliesFromNextSample();
    void speedFaceFollowsUnits();
    void rowsInOtherUnitsAreMarked_data();
    void rowsInOtherUnitsAreMarked();
    void conversionFailureKeepsRawRowAndReports();
    void scrollDirectionReadOnEveryPush();
    void newestComputedRowIsRed();
    void clearDisplayHasExactlyItsEffects();
    void dialsAtRestAfterShow();
    void dialCornersTakeTheWindowColour();
    void screenshotOfEachUnits();
};

void TestDisplay::acceptedRecordSetsUpUnitsAndRows_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("cell");
    QTest::newRow("mm/s") << "+00015 +00515"
                          << "    +00015"
                          << "    +00515"
                          << "0000"
                          << "mm/s"
                          << "mm/s"
                          << "     mm/s";
    QTest::newRow("m/s") << "+0.015 +0.515"
                         << "    +0.015"
                         << "    +0.515"
                         << "0.000"
                         << "m/s"
                         << "m/s"
                         << "     m/s";
    QTest::newRow("knots") << "+00.15 +05.15"
                           << "    +00.15"
                           << "    +05.15"
                           << "00.00"
                           << "Knots"
                           << "Kts"
                           << "    Knots";
    QTest::newRow("both negative") << "-0.250 -1.000"
                                   << "    -0.250"
                                   << "    -1.000"
                                   << "0.000"
                                   << "m/s"
                                   << "m/s"
                                   << "     m/s";
    QTest::newRow("with CR LF") << "+00015 +00515\r\n"
                                << "    +00015"
                                << "    +00515"
                                << "0000"
                                << "mm/s"
                                << "mm/s"
                                << "     mm/s";
    QTest::newRow("second record ignored") << "+0.015 +0.515\r\n+00.15 +05.15\r\n"
                                           << "    +0.015"
                                           << "    +0.515"
                                           << "0.000"
                                           << "m/s"
                                           << "m/s"
                                           << "     m/s";
    QTest::newRow("separator not examined") << "+00015x+00515"
                                            << "    +00015"
                                            << "    +00515"
                                            << "0000"
                                            << "mm/s"
                                            << "mm/s"
                                            << "     mm/s";
    QTest::newRow("Y does not decide") << "+00015 +0.515"
                                       << "    +00015"
                                       << "    +0.515"
                                       << "0000"
                                       << "mm/s"
                                       << "mm/s"
                                       << "     mm/s";
    QTest::newRow("point sixth") << "+0001. +00515"
                                 << "    +0001."
                                 << "    +00515"
                                 << "0000"
                                 << "mm/s"
                                 << "mm/s"
                                 << "     mm/s";
    QTest::newRow("point second") << "+.0015 +00515"
                                  << "    +.0015"
                                  << "    +00515"
                                  << "0000"
                                  << "mm/s"
                                  << "mm/s"
                                  << "     mm/s";
}

void TestDisplay::acceptedRecordSetsUpUnitsAndRows()
{
    QFETCH(QString, record);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QString, format);
    QFETCH(QString, units);
    QFETCH(QString, caption);
    QFETCH(QString, cell);
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->session().receiveRecord(record, SampleSource::Live);
    QCOMPARE(w.rawTable->cell(0, LastDataRow), x);
    QCOMPARE(w.rawTable->cell(1, LastDataRow), y);
    QCOMPARE(w.rawTable->cell(0, LastDataRow - 1), QString());
    QCOMPARE(liveSpeedFormat(w->pipeline()), format);
    QCOMPARE(w->pipeline().liveUnitsWord(), units);
    QCOMPARE(w.speedUnitsLabel->text(), caption);
    QCOMPARE(w.rawUnits->cell(0, 0), cell);
    QCOMPARE(w.rawUnits->cell(1, 0), cell);
    QCOMPARE(w.computedUnits->cell(0, 0), cell);
    QCOMPARE(w.computedUnits->cell(1, 0), QStringLiteral("  Degrees"));
    QVERIFY(!w.computedTable->cell(0, LastDataRow).isEmpty());
    QVERIFY(f.prompts->shown.isEmpty());
}

void TestDisplay::rejectedTextChangesNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("five characters") << "+0001";
    QTest::newRow("twelve characters") << "+00015 +0051";
    QTest::newRow("leading blank") << " +00015 +00515";
    QTest::newRow("blank inside field") << "+0 015 +00515";
    QTest::newRow("letter in Y") << "+00015 +00a15";
    QTest::newRow("sign inside X") << "+00-15 +00515";
    QTest::newRow("no sign on Y") << "+00015  00515";
    QTest::newRow("noise") << "\x7f\x01garbage!!!!!!";
}

void TestDisplay::rejectedTextChangesNothing()
{
    QFETCH(QString, text);
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->session().receiveRecord(QStringLiteral("+00.15 +05.15"), SampleSource::Live);
    const Snapshot before(w);
    w->session().receiveRecord(text, SampleSource::Live);
    QVERIFY(Snapshot(w) == before);
    QVERIFY(f.prompts->shown.isEmpty());
}

void TestDisplay::computedSample_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("bearingTo");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("bearing");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<double>("bearingAngle");
    QTest::addColumn<double>("speedAngle");
    const QColor green(0, 255, 0), red(255, 0, 0), black(0, 0, 0);
    QTest::newRow("worked example, face down") << kFaceDown << 0 << "+00015 +00515"
                                               << "0515"
                                               << "002" << green << 1.668 << 230.6;
    QTest::newRow("worked example, face up") << QByteArray() << 0 << "+00015 +00515"
                                             << "0515"
                                             << "358" << red << 358.332 << 230.6;
    QTest::newRow("worked example, to") << kFaceDown << 1 << "+00015 +00515"
                                        << "0515"
                                        << "182" << red << 181.668 << 230.6;
    QTest::newRow("straight back") << kFaceDown << 0 << "+00000 -00515"
                                   << "0515"
                                   << "180" << black << 180.0 << 230.6;
    QTest::newRow("straight back, to") << kFaceDown << 1 << "+00000 -00515"
                                       << "0515"
                                       << "000" << black << 0.0 << 230.6;
    QTest::newRow("x axis") << kFaceDown << 0 << "+00515 +00000"
                            << "0515"
                            << "090" << green << 90.0 << 230.6;
    QTest::newRow("x axis, to") << kFaceDown << 1 << "+00515 +00000"
                                << "0515"
                                << "270" << red << 270.0 << 230.6;
    QTest::newRow("minus x axis") << kFaceDown << 0 << "-00515 +00000"
                                  << "0515"
                                  << "270" << red << 270.0 << 230.6;
    QTest::newRow("minus x axis, to") << kFaceDown << 1 << "-00515 +00000"
                                      << "0515"
                                      << "090" << green << 90.0 << 230.6;
    QTest::newRow("still water mm/s") << kFaceDown << 0 << "+00000 +00000"
                                      << "0000"
                                      << "090" << green << 90.0 << 210.0;
    QTest::newRow("still water m/s") << kFaceDown << 0 << "+0.000 +0.000"
                                     << "0.000"
                                     << "090" << green << 90.0 << 210.0;
    QTest::newRow("still water knots") << kFaceDown << 0 << "+00.00 +00.00"
                                       << "00.00"
                                       << "090" << green << 90.0 << 210.0;
    QTest::newRow("knots example") << kFaceDown << 0 << "+00.15 +05.15"
                                   << "05.15"
                                   << "002" << green << 1.668 << 313.0;
    QTest::newRow("m/s example") << kFaceDown << 0 << "+0.015 +0.515"
                                 << "0.515"
                                 << "002" << green << 1.668 << 230.6;
}

void TestDisplay::computedSample()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, bearingTo);
    QFETCH(QString, record);
    QFETCH(QString, speed);
    QFETCH(QString, bearing);
    QFETCH(QColor, colour);
    QFETCH(double, bearingAngle);
    QFETCH(double, speedAngle);
    MainWindowFixture f(ini);
    WindowProbe& w = f.w();
    w.bearingSenseBox->setCurrentIndex(bearingTo);
    QCOMPARE(w->pipeline().bearingTo(), bearingTo);
    w->session().receiveRecord(record, SampleSource::Live);
    QCOMPARE(w.computedTable->cell(0, LastDataRow), QStringLiteral("    ") + speed);
    QCOMPARE(w.computedTable->cell(1, LastDataRow), QStringLiteral("    ") + bearing);
    QCOMPARE(w.speedReadout->text(), speed);
    QCOMPARE(w.bearingReadout->text(), bearing);
    QCOMPARE(textColour(w.bearingReadout), colour);
    QCOMPARE(textColour(w.degreeSign), colour);
    // Needle ends to the pixel, by the documented rounding of the angle passed.
    QCOMPARE((w.bearingDial->needleEnd() - kDialCentre), needleOffset(bearingAngle));
    QCOMPARE((w.speedDial->needleEnd() - kDialCentre), needleOffset(speedAngle));
}

void TestDisplay::bearingConventionAppliesFromNextSample()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
    QCOMPARE(w.bearingReadout->text(), QStringLiteral("002"));
    w.bearingSenseBox->setCurrentIndex(1);
    QCOMPARE(w.bearingReadout->text(), QStringLiteral("002")); // not recomputed
    QCOMPARE(w.computedTable->cell(1, LastDataRow), QStringLiteral("    002"));
    w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
    QCOMPARE(w.bearingReadout->text(), QStringLiteral("182"));
    w.bearingSenseBox->setCurrentIndex(0);
    QCOMPARE(w->pipeline().bearingTo(), 0);
}

void TestDisplay::speedFaceFollowsUnits()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    QCOMPARE(w.speedDial->face(), DialFace::Knots); // before any record
    w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
    QCOMPARE(w.speedDial->face(), DialFace::MetricX1000);
    w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
    QCOMPARE(w.speedDial->face(), DialFace::MetricX1000);
    w->session().receiveRecord(QStringLiteral("+0.015 +0.515"), SampleSource::Live);
    QCOMPARE(w.speedDial->face(), DialFace::Metric);
    w->session().receiveRecord(QStringLiteral("+00.15 +05.15"), SampleSource::Live);
    QCOMPARE(w.speedDial->face(), DialFace::Knots);
    // The dial on the window shows the knots face under a needle at 313 degrees, drawn as the
    // stand-alone dial draws it.
    QCOMPARE(w.speedDial->needleEnd(), needleEnd(313));
    DialWidget expected(DialFace::Knots);
    expected.resize(kDialSize, kDialSize);
    expected.setCornerColour(w.speedDial->cornerColour());
    expected.setNeedleAngle(313);
    QCOMPARE(w.speedDial->grab().toImage().convertToFormat(QImage::Format_RGB32),
             expected.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

void TestDisplay::rowsInOtherUnitsAreMarked_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("columnUnits");
    QTest::addColumn<QStringList>("marks"); // of the newest rows, oldest first
    const QString knots = QStringLiteral("+00.15 +05.15");
    const QString ms = QStringLiteral("+0.015 +0.515");
    const QString mms = QStringLiteral("+00015 +00515");
    QTest::newRow("one units: no mark") << QStringList{ms, ms, ms} << QStringLiteral("     m/s")
                                        << QStringList{QString(), QString(), QString()};
    QTest::newRow("mm/s after knots, as a demonstration after a knots sensor")
        << QStringList{knots, knots, mms, mms} << QStringLiteral("     mm/s")
        << QStringList{QStringLiteral("Kts"), QStringLiteral("Kts"), QString(), QString()};
    QTest::newRow("each units in turn")
        << QStringList{mms, ms, knots} << QStringLiteral("    Knots")
        << QStringList{QStringLiteral("mm/s"), QStringLiteral("m/s"), QString()};
    QTest::newRow("back to the first units: those rows need no mark")
        << QStringList{knots, mms, knots} << QStringLiteral("    Knots")
        << QStringList{QString(), QStringLiteral("mm/s"), QString()};
}

void TestDisplay::rowsInOtherUnitsAreMarked()
{
    QFETCH(QStringList, records);
    QFETCH(QString, columnUnits);
    QFETCH(QStringList, marks);
    MainWindowFixture f;
    WindowProbe& w = f.w();
    for (const QString& record : std::as_const(records))
        w->session().receiveRecord(record, SampleSource::Live);
    QCOMPARE(w.computedUnits->cell(0, 0), columnUnits);
    const auto* tables = qobject_cast<const DataTables*>(w.dataPanel);
    QVERIFY(tables);
    // Scrolling up: the newest row is the last; the rows above the records are blank, unmarked.
    QStringList shown;
    for (int r = 0; r <= LastDataRow; ++r)
        shown << tables->speedUnitsMark(r);
    QStringList expected;
    for (qsizetype r = 0; r < LastDataRow + 1 - marks.size(); ++r)
        expected << QString();
    expected << marks;
    QCOMPARE(shown, expected);
    // The mark is drawn beside the value, not written into it: a copy gets the number alone.
    QCOMPARE(w.computedTable->cell(0, LastDataRow - int(marks.size()) + 1).trimmed().size(),
             records.first() == QStringLiteral("+00015 +00515") ? 4 : 5);
}

void TestDisplay::conversionFailureKeepsRawRowAndReports()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    w->session().receiveRecord(QStringLiteral("+00.15 +05.15"), SampleSource::Live);
    const QStringList computed0 = column(w.computedTable, 0);
    w->session().receiveRecord(QStringLiteral("+0..15 +00515"), SampleSource::Live);
    QCOMPARE(f.prompts->errors(),
             QStringList{QStringLiteral("'    +0..15' is not a valid floating point value")});
    QCOMPARE(w.rawTable->cell(0, LastDataRow), QStringLiteral("    +0..15"));
    QCOMPARE(w.rawUnits->cell(0, 0),
             QStringLiteral("     m/s")); // units were set up: first point third
    QCOMPARE(column(w.computedTable, 0), computed0);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("05.15"));
    // Soon after the box, a field of points only fails on Y the same way: counted, no box.
    w->session().receiveRecord(QStringLiteral("+00015 +....."), SampleSource::Live);
    QCOMPARE(w.rawTable->cell(1, LastDataRow), QStringLiteral("    +....."));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("backlogLabel"))->text(),
             QStringLiteral("Bad records: 1"));
    // The next record is processed normally.
    w->session().receiveRecord(QStringLiteral("+0.015 +0.515"), SampleSource::Live);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    QCOMPARE(f.prompts->errors().size(), 1);
    // Once the quiet time after the box has passed, a new episode gets its box.
    w->setTimeScaleForTests(0.001);
    QTRY_COMPARE(
        (w->session().receiveRecord(QStringLiteral("+00015 +....."), SampleSource::Live),
         f.prompts->errors().size()),
        2);
}

void TestDisplay::scrollDirectionReadOnEveryPush()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    // Scroll up: after nine samples rows 0..7 hold samples 2..9.
    for (int i = 1; i <= 9; ++i)
        w->session().receiveRecord(QStringLiteral("+0000%1 +00515").arg(i), SampleSource::Live);
    QStringList expected;
    for (int i = 2; i <= 9; ++i)
        expected << QStringLiteral("    +0000%1").arg(i);
    QCOMPARE(column(w.rawTable, 0), expected);

    // Scroll down: rows 0..7 hold the newest first.
    MainWindowFixture down(QByteArray("[Options]\nScrollDirection=1\nOrientation=1\n"));
    for (int i = 1; i <= 9; ++i)
        down.w()->session().receiveRecord(QStringLiteral("+0000%1 +00515").arg(i),
                                           SampleSource::Live);
    std::reverse(expected.begin(), expected.end());
    QCOMPARE(column(down.w().rawTable, 0), expected);
    QCOMPARE(down.w().computedTable->cell(0, 0), QStringLiteral("    0515"));

    // Switch after five samples on blank grids.
    MainWindowFixture sw(kFaceDown);
    for (int i = 1; i <= 5; ++i)
        sw.w()->session().receiveRecord(QStringLiteral("+0000%1 +00515").arg(i),
                                         SampleSource::Live);
    sw.w()->options().setValues(withScrollDown(sw.w()->options().values()));
    QCOMPARE(column(sw.w().rawTable, 0).mid(3),
             (texts({"    +00001", "    +00002", "    +00003", "    +00004", "    +00005"})));
    sw.w()->session().receiveRecord(QStringLiteral("+00006 +00515"), SampleSource::Live);
    QCOMPARE(column(sw.w().rawTable, 0), (texts({"    +00006", "", "", "", "    +00001",
                                                 "    +00002", "    +00003", "    +00004"})));
}

void TestDisplay::newestComputedRowIsRed()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    for (int i = 1; i <= 8; ++i)
        w->session().receiveRecord(QStringLiteral("+0000%1 +00515").arg(i), SampleSource::Live);
    const auto redPixelsInRow = [&](int row) {
        const QImage image = w.computedTable->grab().toImage();
        const QRect r = w.computedTable->cellRect(0, row);
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += c.red() > 200 && c.green() < 60 && c.blue() < 60;
            }
        return n;
    };
    QVERIFY(redPixelsInRow(LastDataRow) > 10);
    for (int row = 0; row < LastDataRow; ++row)
        QCOMPARE(redPixelsInRow(row), 0);
    // The red row follows the end where samples enter, even before the next sample.
    w->options().setValues(withScrollDown(w->options().values()));
    QVERIFY(redPixelsInRow(0) > 10);
    QCOMPARE(redPixelsInRow(LastDataRow), 0);
}

void TestDisplay::clearDisplayHasExactlyItsEffects()
{
    for (const bool down : {false, true}) {
        MainWindowFixture f(down ? QByteArray("[Options]\nScrollDirection=1\n") : QByteArray());
        WindowProbe& w = f.w();
        for (int i = 0; i < 9; ++i)
            w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
        const QColor valueColour = textColour(w.bearingReadout);
        QCOMPARE(valueColour, QColor(255, 0, 0));
        const DialFace face = w.speedDial->face();
        w->clearDisplay();
        for (const DataGrid* g : {w.computedTable, w.rawTable})
            for (int c = 0; c < 2; ++c)
                QCOMPARE(column(g, c), QStringList(8, QString()));
        QCOMPARE(w.speedReadout->text(), QString());
        QCOMPARE(w.bearingReadout->text(), QString());
        QCOMPARE(textColour(w.degreeSign), QColor(0, 0, 0));
        QCOMPARE(textColour(w.bearingReadout), valueColour); // left as it was
        QCOMPARE(w.computedUnits->cell(0, 0), QStringLiteral("     mm/s"));
        QCOMPARE(w.rawUnits->cell(0, 0), QStringLiteral("     mm/s"));
        QCOMPARE(w.speedUnitsLabel->text(), QStringLiteral("mm/s"));
        QCOMPARE(liveSpeedFormat(w->pipeline()), QStringLiteral("0000"));
        QCOMPARE(w->pipeline().liveUnitsWord(), QStringLiteral("mm/s"));
        QCOMPARE(w.speedDial->face(), face);
        QCOMPARE((w.bearingDial->needleEnd() - kDialCentre), needleOffset(0));
        QCOMPARE((w.speedDial->needleEnd() - kDialCentre), needleOffset(210));
    }
}

void TestDisplay::speedReadoutNeverCutsADigit_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("speed");
    QTest::newRow("m/s, 14.141") << "+9.999 +9.999"
                                 << "14.141";
    QTest::newRow("knots, 141.41") << "+99.99 +99.99"
                                   << "141.41";
    QTest::newRow("mm/s, 141420") << "+99999 +99999"
                                  << "141420";
    QTest::newRow("ordinary width") << "+0.015 +0.515"
                                    << "0.515";
}

void TestDisplay::speedReadoutNeverCutsADigit()
{
    QFETCH(QString, record);
    QFETCH(QString, speed);
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->session().receiveRecord(record, SampleSource::Live);
    QCOMPARE(w.speedReadout->text(), speed);
    QVERIFY(w.speedReadout->fontMetrics().horizontalAdvance(w.speedReadout->text()) <=
            w.speedReadout->width());
    QCOMPARE(w.speedReadout->geometry().right() + 1, 106); // the right edge stays
    if (speed.size() < 6)
        QCOMPARE(w.speedReadout->font().pixelSize(), 32);
}

void TestDisplay::dialsAtRestAfterShow()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    QCOMPARE((w.bearingDial->needleEnd() - kDialCentre), QPoint(0, -80));
    QCOMPARE(w.speedDial->needleEnd(), QPoint(55, 164));
    const QImage bearing = w.bearingDial->grab().toImage();
    QCOMPARE(bearing.pixelColor(95, 20), QColor(255, 0, 0)); // on the needle, straight up
}

void TestDisplay::dialCornersTakeTheWindowColour()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    const QColor face = w->palette().color(QPalette::Button);
    const QImage bearing = w.bearingDial->grab().toImage();
    for (const QImage& image : {w.speedDial->grab().toImage(), bearing}) {
        for (const QPoint p :
             {QPoint(0, 0), QPoint(1, 1), QPoint(188, 1), QPoint(1, 188), QPoint(189, 189)})
            QCOMPARE(image.pixelColor(p), face);
    }
    // Inside stays white: a point inside the circle clear of marks, numbers and needle.
    QCOMPARE(bearing.pixelColor(60, 130), QColor(255, 255, 255));
}

void TestDisplay::screenshotOfEachUnits()
{
    // Set MARVANE_SHOT_DIR to keep pictures of the window after a record of each units.
    const QString dir = qEnvironmentVariable("MARVANE_SHOT_DIR");
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    const QStringList records{QStringLiteral("+00215 +00515"), QStringLiteral("+0.915 +0.515"),
                              QStringLiteral("-09.15 +05.15")};
    const QStringList names{QStringLiteral("mms"), QStringLiteral("ms"), QStringLiteral("knots")};
    QImage previous;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k)
            w->session().receiveRecord(records.at(i), SampleSource::Live);
        const QImage shot = w->grab().toImage();
        QVERIFY(shot != previous);
        previous = shot;
        if (!dir.isEmpty())
            shot.save(QDir(dir).filePath(QStringLiteral("display-%1.png").arg(names.at(i))));
    }
}

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
