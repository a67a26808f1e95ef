// The program's boxes: where they open and which button Return presses.

#include "app/WidgetPrompts.h"

#include <QApplication>
#include <QDialog>
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

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
