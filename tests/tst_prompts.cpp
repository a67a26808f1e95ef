// The program's boxes: where they open, which button Return presses, and the one-line text box
// and its bound.

#include "app/WidgetPrompts.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestPrompts : public QObject
{
    Q_OBJECT
private slots:
    void boxesOpenAboveAWindowThatStaysOnTop();
    void questionDefault_data();
    void questionDefault();
    void textBoxKeepsItsBound_data();
    void textBoxKeepsItsBound();
};

namespace {

struct Seen
{
    QWidget* parent = nullptr;
    bool onTop = false;
    QString defaultButton;
};

// Answers the box that is about to open, noting where it opened.
void answerNextBox(Seen* seen, QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, qApp, [seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen->parent = box->parentWidget();
        seen->onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        if (box->defaultButton())
            seen->defaultButton = box->defaultButton()->text();
        box->done(answer);
    });
}

} // namespace

void TestPrompts::boxesOpenAboveAWindowThatStaysOnTop()
{
    // The Communications dialog stays on top of the main window: an error raised while it is
    // open must not hide underneath it.
    QMainWindow main;
    main.show();
    QDialog options(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    options.show();
    WidgetPrompts prompts(&main);
    Seen seen;
    answerNextBox(&seen, QMessageBox::Ok);
    prompts.error(QStringLiteral("Unable to write to marvane.ini."));
    QCOMPARE(seen.parent, &options);
    QVERIFY(seen.onTop);

    // With only the main window, boxes belong to it, and still stay on top.
    options.hide();
    seen = Seen();
    answerNextBox(&seen, QMessageBox::Ok);
    prompts.message(QStringLiteral("Unable to open COM1"));
    QVERIFY(seen.parent == &main || seen.parent == QApplication::activeWindow());
    QVERIFY(seen.onTop);
}

void TestPrompts::questionDefault_data()
{
    QTest::addColumn<bool>("yesByDefault");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
}

void TestPrompts::questionDefault()
{
    QFETCH(bool, yesByDefault);
    QMainWindow main;
    main.show();
    WidgetPrompts prompts(&main);
    Seen seen;
    answerNextBox(&seen, QMessageBox::No);
    QVERIFY(!prompts.confirm(QStringLiteral("Start logging data?"), yesByDefault));
    QCOMPARE(seen.defaultButton.remove(QLatin1Char('&')),
             yesByDefault ? QStringLiteral("Yes") : QStringLiteral("No"));
}

void TestPrompts::textBoxKeepsItsBound_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("answer");
    QTest::newRow("short") << QStringLiteral("diver in") << true << QStringLiteral("diver in");
    QTest::newRow("too long") << QStringLiteral("abcdefghijkl") << true
                              << QStringLiteral("abcdefghij");
    QTest::newRow("cancelled") << QStringLiteral("diver in") << false << QString();
}

// The field takes at most the bound from the first key; OK gives what it holds, Cancel nothing.
void TestPrompts::textBoxKeepsItsBound()
{
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    QFETCH(QString, answer);
    QMainWindow main;
    main.show();
    WidgetPrompts prompts(&main);
    QString title;
    int maxLength = -1;
    QTimer::singleShot(0, qApp, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        auto* field = dialog->findChild<QLineEdit*>();
        if (field) {
            maxLength = field->maxLength();
            QTest::keyClicks(field, typed);
        }
        ok ? dialog->accept() : dialog->reject();
    });
    const std::optional<QString> got =
        prompts.askText(QStringLiteral("Mark"), QStringLiteral("Note:"), 10);
    QCOMPARE(title, QStringLiteral("Mark"));
    QCOMPARE(maxLength, 10);
    QCOMPARE(got.has_value(), ok);
    if (ok)
        QCOMPARE(*got, answer);
}

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
