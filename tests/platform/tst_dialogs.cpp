#include "core/TapewrenError.h"
#include "platform/QtCommonDialog.h"
#include "platform/QtMessageBox.h"
#include "platform/QtProgressDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Acts on the next modal window of type T once it is up, from inside its own event loop.
template<typename T>
void whenShown(std::function<void(T *)> act)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto *window = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!window || !window->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(window);
    });
    timer->start();
}

// What the user does in the file dialog: type a name into the name box and press Enter.
void typeName(QFileDialog *dialog, const QString &name)
{
    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setFocus();
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("RIFF");
}

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void nameFilters_convertsDescriptionPatternPairs_data();
    void nameFilters_convertsDescriptionPatternPairs();
    void showSave_setsFullPath_afterOk_data();
    void showSave_setsFullPath_afterOk();
    void show_keepsFileName_afterCancel_data();
    void show_keepsFileName_afterCancel();
    void showSave_asksBeforeReplacing_data();
    void showSave_asksBeforeReplacing();
    void showOpen_takesExistingFilesOnly();
    void show_startsInMusicOrHome_thenInTheLastChosenFolder_data();
    void show_startsInMusicOrHome_thenInTheLastChosenFolder();

    void messageBox_showsStyle_data();
    void messageBox_showsStyle();
    void messageBox_returnsButtonPressed_data();
    void messageBox_returnsButtonPressed();

    void progress_showsAfterHalfASecond_blocksTheWindow_andCancels();
    void progress_letsABoxBeAnswered_data();
    void progress_letsABoxBeAnswered();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void DialogsTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void DialogsTest::nameFilters_convertsDescriptionPatternPairs_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("pattern as description") << "*.wav|*.wav" << QStringList{"*.wav (*.wav)"};
    QTest::newRow("two pairs") << "声音文件|*.wav|所有文件|*.*"
                               << QStringList{"声音文件 (*.wav)", "所有文件 (*.*)"};
    QTest::newRow("several patterns")
            << "Sound|*.wav;*.wave" << QStringList{"Sound (*.wav *.wave)"};
    QTest::newRow("empty description") << "|*.wav" << QStringList{"*.wav (*.wav)"};
    QTest::newRow("description without pattern")
            << "*.wav|*.wav|Lonely" << QStringList{"*.wav (*.wav)"};
    QTest::newRow("every format, then WAV")
            << "所有支持的音频|*.wav;*.flac;*.mp3;*.ogg;*.opus|*.wav|*.wav"
            << QStringList{"所有支持的音频 (*.wav *.flac *.mp3 *.ogg *.opus)", "*.wav (*.wav)"};
    QTest::newRow("empty") << "" << QStringList{};
}

void DialogsTest::nameFilters_convertsDescriptionPatternPairs()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtCommonDialog::nameFilters(filter), expected);
}

void DialogsTest::showSave_setsFullPath_afterOk_data()
{
    const QString wav = QStringLiteral("*.wav|*.wav");
    const QString five = QStringLiteral("*.wav|*.wav|FLAC 无损音频|*.flac|MP3 音频|*.mp3|"
                                        "Ogg Vorbis 音频|*.ogg|Opus 音频|*.opus");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("selected"); // the filter chosen in the dialog
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::newRow("plain") << wav << 0 << "take.wav"
                           << "take.wav";
    QTest::newRow("Chinese and blank") << wav << 0 << "录音 一.wav"
                                       << "录音 一.wav";
    QTest::newRow("no extension gets .wav") << five << 0 << "讲座"
                                            << "讲座.wav";
    QTest::newRow("no extension gets the chosen filter's") << five << 2 << "讲座"
                                                           << "讲座.mp3";
    QTest::newRow("a typed extension wins, in any case") << five << 2 << "讲座.FLAC"
                                                         << "讲座.FLAC";
    QTest::newRow("a dot inside is no extension of ours") << five << 0 << "第1.5节"
                                                          << "第1.5节.wav";
    QTest::newRow("nor is an extension of no filter") << wav << 0 << "take.mp3"
                                                      << "take.mp3.wav";
}

void DialogsTest::showSave_setsFullPath_afterOk()
{
    QFETCH(QString, filter);
    QFETCH(int, selected);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QWidget parent;
    QtCommonDialog cdg;
    cdg.setParentWidget(&parent);
    cdg.setFilter(filter);
    cdg.setCancelError(FlagTrue);

    QWidget *dialogParent = nullptr;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    bool native = true;
    QStringList filters;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        dialogParent = dialog->parentWidget();
        mode = dialog->acceptMode();
        native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        filters = dialog->nameFilters();
        dialog->selectNameFilter(filters.value(selected));
        typeName(dialog, m_dir->filePath(typed));
    });
    cdg.ShowSave();

    QCOMPARE(cdg.FileName(), m_dir->filePath(saved));
    QCOMPARE(dialogParent, &parent);
    QCOMPARE(mode, QFileDialog::AcceptSave);
    QVERIFY(!native);
    QCOMPARE(filters, QtCommonDialog::nameFilters(filter));
}

void DialogsTest::show_keepsFileName_afterCancel_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<Flag>("cancelError");
    QTest::addColumn<bool>("raises");

    QTest::newRow("save, cancel error on") << true << FlagTrue << true;
    QTest::newRow("save, cancel error off") << true << FlagFalse << false;
    QTest::newRow("open, cancel error on") << false << FlagTrue << true;
    QTest::newRow("open, cancel error off") << false << FlagFalse << false;
    QTest::newRow("open, cancel error 1 is not true") << false << Flag(1) << false;
}

void DialogsTest::show_keepsFileName_afterCancel()
{
    QFETCH(bool, save);
    QFETCH(Flag, cancelError);
    QFETCH(bool, raises);
    const QString previous = m_dir->filePath(QStringLiteral("earlier.wav"));
    touch(previous);
    QtCommonDialog cdg;
    cdg.setFilter(QStringLiteral("*.wav|*.wav"));
    cdg.setFileName(previous);
    cdg.setCancelError(cancelError);

    whenShown<QFileDialog>([](QFileDialog *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    int number = 0;
    QString description;
    try {
        save ? cdg.ShowSave() : cdg.ShowOpen();
    } catch (const TapewrenError &error) {
        number = error.number();
        description = error.description();
    }
    QCOMPARE(cdg.FileName(), previous);
    QCOMPARE(number, raises ? CommonDialog::CancelErrorNumber : 0);
    QCOMPARE(description.isEmpty(), !raises);
    QCOMPARE(description, raises ? QtCommonDialog::cancelErrorText : QString());
}

void DialogsTest::showSave_asksBeforeReplacing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::newRow("replace") << "old.wav" << QMessageBox::Yes;
    QTest::newRow("keep") << "old.wav" << QMessageBox::No;
    QTest::newRow("typed without extension, replace") << "old" << QMessageBox::Yes;
    QTest::newRow("typed without extension, keep") << "old" << QMessageBox::No;
}

void DialogsTest::showSave_asksBeforeReplacing()
{
    QFETCH(QString, typed);
    QFETCH(QMessageBox::StandardButton, answer);
    const QString existing = m_dir->filePath(QStringLiteral("old.wav"));
    touch(existing);
    // a file named as typed is there too: the question is about the final name all the same
    touch(m_dir->filePath(typed));
    QtCommonDialog cdg;
    cdg.setFilter(QStringLiteral("*.wav|*.wav"));

    QString question;
    bool stillOpen = false;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        whenShown<QMessageBox>([&](QMessageBox *box) {
            question = box->text();
            box->button(answer)->click();
        });
        typeName(dialog, m_dir->filePath(typed));
        stillOpen = dialog->isVisible();
        if (stillOpen)
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    cdg.ShowSave();

    QVERIFY2(question.contains(QStringLiteral("old.wav")), qPrintable(question));
    QCOMPARE(stillOpen, answer == QMessageBox::No);
    QCOMPARE(cdg.FileName(), answer == QMessageBox::Yes ? existing : QString());
}

void DialogsTest::showOpen_takesExistingFilesOnly()
{
    const QString missing = m_dir->filePath(QStringLiteral("missing.wav"));
    const QString existing = m_dir->filePath(QStringLiteral("录音.wav"));
    touch(existing);
    QtCommonDialog cdg;
    cdg.setFilter(QStringLiteral("*.wav|*.wav"));

    bool refused = false;
    bool stillOpen = false;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        whenShown<QMessageBox>([&](QMessageBox *box) {
            refused = true;
            box->accept();
        });
        typeName(dialog, missing);
        stillOpen = dialog->isVisible();
        typeName(dialog, existing);
    });
    cdg.ShowOpen();

    QVERIFY(refused);
    QVERIFY(stillOpen);
    QCOMPARE(cdg.FileName(), existing);
}

void DialogsTest::show_startsInMusicOrHome_thenInTheLastChosenFolder_data()
{
    QTest::addColumn<bool>("hasMusicFolder");
    QTest::newRow("Music folder") << true;
    QTest::newRow("no Music folder") << false;
}

void DialogsTest::show_startsInMusicOrHome_thenInTheLastChosenFolder()
{
    QFETCH(bool, hasMusicFolder);
    const QDir home(m_dir->filePath(QStringLiteral("home")));
    const QString music = home.filePath(QStringLiteral("Music"));
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    const QString working = m_dir->filePath(QStringLiteral("working"));
    for (const QString &folder : {hasMusicFolder ? music : home.path(), elsewhere, working})
        QVERIFY(QDir().mkpath(folder));
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QString oldWorking = QDir::currentPath();
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
    QDir::setCurrent(working);
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
        QDir::setCurrent(oldWorking);
    });
    const QString chosen = QDir(elsewhere).filePath(QStringLiteral("take.wav"));
    touch(chosen);
    QtCommonDialog cdg;
    cdg.setFilter(QStringLiteral("*.wav|*.wav"));

    QStringList shownIn;
    const auto note = [&](QFileDialog *dialog) {
        shownIn << QFileInfo(dialog->directory().path()).canonicalFilePath();
    };
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        note(dialog);
        typeName(dialog, chosen);
    });
    cdg.ShowOpen();
    for (int i = 0; i < 2; ++i) {
        cdg.setFileName(QString());
        whenShown<QFileDialog>([&](QFileDialog *dialog) {
            note(dialog);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        i == 0 ? cdg.ShowSave() : cdg.ShowOpen();
    }

    const QString first = QFileInfo(hasMusicFolder ? music : home.path()).canonicalFilePath();
    const QString later = QFileInfo(elsewhere).canonicalFilePath();
    QCOMPARE(shownIn, (QStringList{first, later, later}));
}

void DialogsTest::messageBox_showsStyle_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("buttons");

    using B = QMessageBox::StandardButton;
    const QList<B> ok{B::Ok};
    const QList<B> yesNoCancel{B::Yes, B::No, B::Cancel};
    QTest::newRow("OK, information") << 64 << QMessageBox::Information << ok;
    QTest::newRow("OK, critical") << 16 << QMessageBox::Critical << ok;
    QTest::newRow("OK, exclamation") << 48 << QMessageBox::Warning << ok;
    QTest::newRow("Yes/No/Cancel, question") << 3 + 32 << QMessageBox::Question << yesNoCancel;
    QTest::newRow("Yes/No/Cancel, no icon") << 3 << QMessageBox::NoIcon << yesNoCancel;
}

void DialogsTest::messageBox_showsStyle()
{
    QFETCH(int, style);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QList<QMessageBox::StandardButton>, buttons);
    QWidget parent;
    QtMessageBox messageBox;
    messageBox.setParentWidget(&parent);
    const QString prompt = QStringLiteral("<b>当前录音已经被更新，是否保存？</b>");
    const QString title = QStringLiteral("Tapewren音频录音机");

    // Yes or OK: the first button of the style is the default.
    const QMessageBox::StandardButton first = buttons.first();
    bool seen = false;
    whenShown<QMessageBox>([&](QMessageBox *box) {
        // Answered first, so that a failing check below cannot leave the box open.
        QTimer::singleShot(0, box->button(first), &QAbstractButton::click);
        seen = true;
        QCOMPARE(box->icon(), icon);
        QList<QMessageBox::StandardButton> shown;
        for (QAbstractButton *button : box->buttons())
            shown << box->standardButton(button);
        std::sort(shown.begin(), shown.end());
        std::sort(buttons.begin(), buttons.end());
        QCOMPARE(shown, buttons);
        QCOMPARE(box->windowTitle(), title);
        // Shown as written, markup included.
        QCOMPARE(box->text(), prompt);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->parentWidget(), &parent);
        QCOMPARE(box->defaultButton(), box->button(first));
    });
    messageBox.show(prompt, style, title);
    QVERIFY(seen);
}

void DialogsTest::messageBox_returnsButtonPressed_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("answer");

    const int yesNoCancel = MessageBox::YesNoCancel + MessageBox::Question;
    const int okOnly = MessageBox::OkOnly + MessageBox::Information;
    QTest::newRow("Yes") << yesNoCancel << "Yes" << 6;
    QTest::newRow("No") << yesNoCancel << "No" << 7;
    QTest::newRow("Cancel") << yesNoCancel << "Cancel" << 2;
    QTest::newRow("Esc means Cancel") << yesNoCancel << "Esc" << 2;
    QTest::newRow("closing means Cancel") << yesNoCancel << "close" << 2;
    QTest::newRow("Enter takes Yes, the default") << yesNoCancel << "Enter" << 6;
    QTest::newRow("OK") << okOnly << "OK" << 1;
    QTest::newRow("Esc on OK alone") << okOnly << "Esc" << 1;
    QTest::newRow("closing OK alone") << okOnly << "close" << 1;
}

void DialogsTest::messageBox_returnsButtonPressed()
{
    QFETCH(int, style);
    QFETCH(QString, action);
    QFETCH(int, answer);
    QtMessageBox messageBox;

    whenShown<QMessageBox>([action](QMessageBox *box) {
        const QHash<QString, QMessageBox::StandardButton>
                buttons{{QStringLiteral("Yes"), QMessageBox::Yes},
                        {QStringLiteral("No"), QMessageBox::No},
                        {QStringLiteral("Cancel"), QMessageBox::Cancel},
                        {QStringLiteral("OK"), QMessageBox::Ok}};
        if (buttons.contains(action))
            box->button(buttons.value(action))->click();
        else if (action == QLatin1String("Esc"))
            QTest::keyClick(box, Qt::Key_Escape);
        else if (action == QLatin1String("Enter"))
            QTest::keyClick(box, Qt::Key_Return);
        else
            box->close();
    });
    QCOMPARE(messageBox.show(QStringLiteral("Tapewren音频录音机已经运行！"),
                             style,
                             QStringLiteral("Tapewren音频录音机")),
             answer);
}

void DialogsTest::progress_showsAfterHalfASecond_blocksTheWindow_andCancels()
{
    QWidget window;
    auto *button = new QPushButton(QStringLiteral("停止"), &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int clicks = 0;
    connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    QtProgressDialog progress;
    progress.setParentWidget(&window);
    int cancels = 0;

    progress.begin(QStringLiteral("正在保存录音..."), [&cancels] { ++cancels; });
    progress.setProgress(370, 1000);
    // a short task shows nothing, and the window takes no clicks meanwhile
    QTest::qWait(300);
    QVERIFY(!progress.dialog()->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 0);
    QTRY_VERIFY(progress.dialog()->isVisible());
    QCOMPARE(progress.dialog()->labelText(), QStringLiteral("正在保存录音..."));
    const auto *bar = progress.dialog()->findChild<QProgressBar *>();
    QVERIFY(bar);
    QCOMPARE(bar->text(), QStringLiteral("已完成 37%"));
    auto *cancel = progress.dialog()->findChild<QPushButton *>();
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), QStringLiteral("取消"));
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(cancels, 1);
    // the window answers at once, while the task is still winding down
    QVERIFY(!progress.dialog()->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 1);

    progress.end();
    QVERIFY(!progress.dialog());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 2);
}

void DialogsTest::progress_letsABoxBeAnswered_data()
{
    QTest::addColumn<int>("afterMs"); // when the box comes up: before or after the dialog shows
    QTest::addColumn<QString>("action");
    QTest::newRow("Enter, before the dialog") << 0 << "Enter";
    QTest::newRow("Esc, before the dialog") << 0 << "Esc";
    QTest::newRow("OK, over the dialog") << 700 << "OK";
}

void DialogsTest::progress_letsABoxBeAnswered()
{
    QFETCH(int, afterMs);
    QFETCH(QString, action);
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QtProgressDialog progress;
    progress.setParentWidget(&window);
    QtMessageBox messageBox;
    messageBox.setParentWidget(&window);
    progress.begin(QStringLiteral("正在保存录音..."), [] {});
    QTest::qWait(afterMs);

    whenShown<QMessageBox>([action](QMessageBox *box) {
        if (action == QLatin1String("OK"))
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        else
            QTest::keyClick(box, action == QLatin1String("Esc") ? Qt::Key_Escape : Qt::Key_Return);
    });
    // a box that the user cannot answer is closed by the test itself, and counts against it
    bool stuck = false;
    QTimer::singleShot(3000, [&stuck] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible()) {
                stuck = true;
                box->done(0);
            }
        }
    });
    messageBox.show(QStringLiteral("录音已中断：磁盘已满。已保留 0分3秒 的录音，可以播放或保存。"),
                    MessageBox::OkOnly + MessageBox::Exclamation,
                    QStringLiteral("Tapewren音频录音机"));
    QVERIFY(!stuck);
    progress.end();
}

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
