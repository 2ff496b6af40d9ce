#include "computer_name.h"
#include "frmAbout.h"
#include "frmMonitor.h"
#include "headless.h"
#include "support/display_client.h"
#include "support/fake_window.h"
#include "support/flaky_listener.h"

#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

using testing_support::Exchange;
using testing_support::FakeWindow;
using testing_support::FlakyListener;
using testing_support::OpenWindow;
using Answer = OperatorMessage::Answer;

namespace {

QStringList Rows(const QListWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    return rows;
}

const QStringList kPlaceholders = {"NA", "NA", "-NA-", "-NA-", "NA", "NA", "NA", "-NA-", "-NA-"};
const QByteArray kPlaceholderLines = "MBoTe=NA\\\r\nCPUTe=NA\\\r\nMBoFa=-NA-\\\r\nCPUFa=-NA-\\\r\n"
                                     "Core0=NA\\\r\n3.3-V=NA\\\r\n+5Vol=NA\\\r\n+12Vo=-NA-\\\r\n"
                                     "CPUSp=-NA-\\\r\n";
const QStringList kUnpaired = QStringList(QList<QString>(9, "-1"));

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    static OpenWindow Load(FakeWindow& machine, Answer answer = Answer::No) {
        return machine.Load(answer);
    }
    static QListWidget* List(frmMonitor& w, const char* name) {
        return w.findChild<QListWidget*>(name);
    }
    static void Select(frmMonitor& w, const char* list, int row) {
        List(w, list)->item(row)->setSelected(true);
    }

private slots:
    void controlsMatchTheLayout() {
        FakeWindow machine;
        auto w = Load(machine);
        QCOMPARE(w->windowTitle(), QString("Halvane on WS01"));
        const qreal dpi = w->logicalDpiX();
        auto px = [dpi](int twips) { return qRound(twips * dpi / 1440.0); };
        QCOMPARE(w->size(), QSize(px(6105), qRound(4410 * w->logicalDpiY() / 1440.0)));

        struct Control {
            const char* name;
            const char* text;
            int l, t, wd, h;
        };
        const Control controls[] = {
            {"Label3", "MBM Sensor List", 120, 30, 1335, 255},
            {"List1", nullptr, 80, 240, 2775, 3180},
            {"Label4", "LCDHype Param", 3000, 30, 1335, 255},
            {"List2", nullptr, 2990, 240, 1500, 1815},
            {"Label5", "Value", 4650, 30, 615, 255},
            {"List3", nullptr, 4625, 240, 675, 1815},
            {"Label6", "Sensor", 5440, 30, 615, 255},
            {"List4", nullptr, 5425, 240, 605, 1815},
            {"Text1", "Sys Name", 2990, 2160, 855, 285},
            {"CompName", "WS01", 3950, 2160, 2095, 285},
            {"Text3", "CPU Load", 2990, 2520, 855, 285},
            {"CompLoad", "7%", 3950, 2520, 2095, 285},
            {"Text2", "CPU Type", 2990, 2880, 855, 285},
            {"CPUType", nullptr, 3950, 2880, 2095, 285},
            {"Label2", "Hard Drive                      Size      Free", 3010, 3280, 3255, 255},
            {"List5", nullptr, 3000, 3480, 3030, 840},
            {"Command5", "Link Sensor to Param ", 80, 3500, 2044, 375},
            {"Command6", "About", 2246, 3500, 600, 375},
            {"Command3", "Start", 80, 3960, 600, 375},
            {"Command1", "Quit", 802, 3960, 600, 375},
            {"Command2", "Clear", 1524, 3960, 600, 375},
            {"Command4", "Save", 2246, 3960, 600, 375},
        };
        for (const Control& c : controls) {
            auto* widget = w->findChild<QWidget*>(c.name);
            QVERIFY2(widget, c.name);
            QCOMPARE(widget->geometry(), QRect(px(c.l), px(c.t), px(c.wd), px(c.h)));
            if (!c.text) continue;
            QString text;
            if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) text = edit->text();
            if (auto* button = qobject_cast<QPushButton*>(widget)) text = button->text();
            QCOMPARE(text, QString(c.text));
        }
        for (const char* name : {"List1", "List2", "List3", "List4", "List5"}) {
            QCOMPARE(List(*w, name)->selectionMode(), QAbstractItemView::SingleSelection);
            QVERIFY(!List(*w, name)->isSortingEnabled());
        }
        // The nine parameter rows fit their lists, whatever the style's padding.
        w->show();
        for (const char* name : {"List2", "List3", "List4"}) {
            QListWidget* list = List(*w, name);
            QVERIFY2(list->visualItemRect(list->item(8)).bottom() < list->viewport()->height(),
                     name);
        }

        const QStringList order = {"Command1", "List1",    "List2",    "List3",    "List4",
                                   "Text1",    "List5",    "CompName", "Command2", "Command3",
                                   "Text3",    "CompLoad", "Command4", "Text2",    "CPUType",
                                   "Command5", "Command6"};
        // The chain also passes through the lists' inner viewports; only the
        // window's own controls count.
        QStringList chain;
        QWidget* widget = w->findChild<QWidget*>("Command1");
        do {
            if (widget->parentWidget() == w.window.get() && (widget->focusPolicy() & Qt::TabFocus))
                chain << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget->objectName() != "Command1");
        QCOMPARE(chain.mid(0, order.size()), order);
    }

    void captionCarriesTheComputerName() {
        FakeWindow machine;
        machine.computerName = ComputerName;
        auto w = Load(machine);
        const QString name = QString::fromLatin1(ComputerName());
        QVERIFY(!name.isEmpty());
        // The host's name; Windows gives it upper-cased, at most 15 characters.
        QVERIFY2(QHostInfo::localHostName().toLower().startsWith(name.toLower()), qPrintable(name));
        QCOMPARE(w->windowTitle(), "Halvane on " + name);
        QCOMPARE(w->findChild<QLineEdit*>("CompName")->text(), name);
    }

    void startUpFillsTheListsAndAsksAboutSavedData() {
        FakeWindow machine;
        machine.SetSensor(2, "CPU", 45.5);
        auto w = Load(machine, Answer::No);
        QCOMPARE(machine.messages->messages.size(), size_t(1));
        const OperatorMessage& question = machine.messages->messages[0];
        QCOMPARE(question.text, QString("Do you wish to use saved data to complete set-up?"));
        QCOMPARE(question.buttons, OperatorMessage::Buttons::YesNo);
        QCOMPARE(question.defaultButton, Answer::Yes);
        QCOMPARE(question.icon, OperatorMessage::Icon::Question);

        QCOMPARE(List(*w, "List1")->count(), 100);
        QCOMPARE(List(*w, "List1")->item(0)->text(), QString("No. 1:  / 0"));
        QCOMPARE(List(*w, "List1")->item(2)->text(), QString("No. 3: CPU / 45.5"));
        QCOMPARE(
            Rows(List(*w, "List2")),
            QStringList({"MBoTemperature", "CPUTemperature", "MBoFan", "CPUFan", "Core0 Voltage",
                         "3.3-VIO Voltage)", "+5Voltage", "+12Voltage", "CPUSpeed"}));
        QCOMPARE(Rows(List(*w, "List3")), kPlaceholders);
        QCOMPARE(Rows(List(*w, "List4")), kUnpaired);
        QVERIFY(!w->RefreshTimer()->isActive());
        QVERIFY(w->ListeningPort() != 0);
    }

    void drivesAreListedWithTheirMountPoints() {
        FakeWindow machine;
        machine.drives = {{"C:", 2ull << 30, 1ull << 29, "/"}, {"D:", 0, 0, "/srv"}};
        auto w = Load(machine);
        QListWidget* drives = List(*w, "List5");
        QCOMPARE(Rows(drives), QStringList({"Drive C:" + QString(24, ' ') + "2.0,     0.5",
                                            "Drive D:" + QString(24, ' ') + "0.0,     0.0"}));
        QCOMPARE(drives->item(1)->toolTip(), QString("/srv"));
    }

    // Link needs both selections; a relink replaces the pair; Clear restores
    // the placeholders and leaves the file alone.
    void linkRelinkAndClear() {
        FakeWindow machine;
        machine.SetSensor(4, "CPU", 45.5);
        machine.SetSensor(6, "I/O / Temp", 31.25);
        auto w = Load(machine);
        const QString message = "You have not selected the MBM Sensor - LCDHype Param pair.\r\n"
                                "Please select the required Sensor & Param and try again.";
        w->LinkSensorToParam();
        Select(*w, "List2", 1);
        w->LinkSensorToParam();
        List(*w, "List2")->clearSelection();
        Select(*w, "List1", 4);
        w->LinkSensorToParam();
        QCOMPARE(machine.messages->shown.mid(1), QStringList({message, message, message}));
        QCOMPARE(machine.messages->messages.back().icon, OperatorMessage::Icon::Exclamation);
        QCOMPARE(Rows(List(*w, "List4")), kUnpaired);

        Select(*w, "List1", 4);
        Select(*w, "List2", 1);
        w->LinkSensorToParam();
        QCOMPARE(List(*w, "List3")->item(1)->text(), QString("45.5"));
        QCOMPARE(List(*w, "List4")->item(1)->text(), QString("4"));

        // A name holding "/" does not bleed into the value.
        Select(*w, "List1", 6);
        w->LinkSensorToParam();
        QCOMPARE(List(*w, "List3")->item(1)->text(), QString("31.25"));
        QCOMPARE(List(*w, "List4")->item(1)->text(), QString("6"));
        QStringList expected = kUnpaired;
        expected[1] = "6";
        QCOMPARE(Rows(List(*w, "List4")), expected);
        QCOMPARE(List(*w, "List3")->count(), 9);
        QVERIFY(List(*w, "List1")->item(6)->isSelected());
        QVERIFY(List(*w, "List2")->item(1)->isSelected());

        w->Clear();
        QCOMPARE(Rows(List(*w, "List3")), kPlaceholders);
        QCOMPARE(Rows(List(*w, "List4")), kUnpaired);
        QVERIFY(List(*w, "List1")->item(6)->isSelected());
        QVERIFY(List(*w, "List2")->selectedItems().isEmpty());
        QVERIFY(!QFile::exists(QString::fromStdString(machine.SettingsFile())));
    }

    // The saved pairs come back on Yes and with --use-saved (which asks
    // nothing); No leaves nine unpaired rows, and so does Yes without a file.
    // The refresh starts whenever the pairs were loaded.
    void savedPairsLoadOnYesOrUseSaved_data() {
        QTest::addColumn<bool>("file");
        QTest::addColumn<bool>("useSaved");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("sensors");
        QTest::addColumn<bool>("refreshing");
        const QStringList saved = {"4", "7", "-1", "-1", "-1", "-1", "-1", "-1", "5"};
        QTest::newRow("Yes") << true << false << int(Answer::Yes) << saved << true;
        QTest::newRow("No") << true << false << int(Answer::No) << kUnpaired << false;
        QTest::newRow("--use-saved") << true << true << -1 << saved << true;
        QTest::newRow("Yes, no file") << false << false << int(Answer::Yes) << kUnpaired << true;
    }
    void savedPairsLoadOnYesOrUseSaved() {
        QFETCH(bool, file);
        QFETCH(bool, useSaved);
        QFETCH(int, answer);
        QFETCH(QStringList, sensors);
        QFETCH(bool, refreshing);
        FakeWindow machine;
        if (file) machine.WriteSettings("[Korvid]\nSensors=4\\7\\-1\\-1\\-1\\-1\\-1\\-1\\5\\\n");
        machine.useSavedPairs = useSaved;
        auto w = answer < 0 ? machine.Make() : Load(machine, Answer(answer));
        if (answer < 0) w->Form_Load();
        QCOMPARE(machine.messages->shown.size(), answer < 0 ? 0 : 1);
        QCOMPARE(Rows(List(*w, "List4")), sensors);
        QCOMPARE(Rows(List(*w, "List3")), kPlaceholders); // until the first tick
        QCOMPARE(w->RefreshTimer()->isActive(), refreshing);
        QCOMPARE(w->RefreshTimer()->interval(), 500);
    }

    void saveWritesThePairsOrSaysWhyNot() {
        FakeWindow machine;
        auto w = Load(machine);
        for (auto [sensor, param] : {std::pair{4, 0}, {7, 1}}) {
            Select(*w, "List1", sensor);
            Select(*w, "List2", param);
            w->LinkSensorToParam();
        }
        w->SavePairings();
        QFile file(QString::fromStdString(machine.SettingsFile()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // Line ends are the platform's (CR LF from the Windows profile functions).
        QCOMPARE(file.readAll().replace('\r', ""),
                 QByteArray("[Korvid]\nSensors=4\\7\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\\n"));
        QCOMPARE(machine.messages->shown.size(), 1); // the question; no box for a save

        QFile blocker(QString::fromStdString(machine.configDir.File("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        machine.settingsFile = machine.configDir.File("blocker") + "/Korvid.INI";
        auto blocked = Load(machine);
        blocked->SavePairings();
        QVERIFY(machine.messages->shown.last().contains("blocker/Korvid.INI"));
        QCOMPARE(machine.messages->messages.back().icon, OperatorMessage::Icon::Exclamation);
    }

    void tickRefreshesPairedRowsOnly() {
        FakeWindow machine;
        machine.SetSensor(0, "Mobo", 0.125);
        machine.SetSensor(1, "CPU", 40);
        machine.SetSensor(2, "Fan", 2000);
        auto w = Load(machine);
        for (auto [sensor, param] : {std::pair{0, 0}, {1, 1}, {2, 8}}) {
            Select(*w, "List1", sensor);
            Select(*w, "List2", param);
            w->LinkSensorToParam();
        }
        const QStringList sensorRows = Rows(List(*w, "List1"));
        machine.SetSensor(0, "Mobo", 0.375);
        machine.SetSensor(1, "CPU", -3.5);
        machine.SetSensor(2, "Fan", std::nan(""));
        *machine.load = 63;
        w->RefreshTick();
        QCOMPARE(Rows(List(*w, "List3")),
                 QStringList({"0.38", "-3.5", "-NA-", "-NA-", "NA", "NA", "NA", "-NA-", "NA"}));
        QCOMPARE(w->findChild<QLineEdit*>("CompLoad")->text(), QString("63%"));
        QCOMPARE(Rows(List(*w, "List1")), sensorRows);
        QVERIFY(List(*w, "List1")->toolTip().isEmpty());

        // A publisher that stops: every paired row reads NA, and the sensor
        // list says why until readings come back.
        machine.block.state = modMBMAccess::BlockState::Abandoned;
        w->RefreshTick();
        QCOMPARE(Rows(List(*w, "List3")),
                 QStringList({"NA", "NA", "-NA-", "-NA-", "NA", "NA", "NA", "-NA-", "NA"}));
        QVERIFY(List(*w, "List1")->toolTip().contains("no longer runs"));
        machine.block.state = modMBMAccess::BlockState::Live;
        w->RefreshTick();
        QVERIFY(List(*w, "List1")->toolTip().isEmpty());
        QCOMPARE(Rows(List(*w, "List1")), sensorRows);

        // Texts that name no sensor (an edited settings file) are left alone.
        machine.WriteSettings("[Korvid]\nSensors=abc\\100\\-1\\-1\\-1\\-1\\-1\\-1\\2\\\n");
        w->LoadPairings();
        QCOMPARE(List(*w, "List4")->item(0)->text(), QString("abc"));
        machine.SetSensor(0, "Mobo", 1);
        machine.SetSensor(1, "CPU", 1);
        w->RefreshTick();
        QCOMPARE(List(*w, "List3")->item(0)->text(), QString("0.38"));
        QCOMPARE(List(*w, "List3")->item(1)->text(), QString("-3.5"));
    }

    // Start asks about unpaired rows 0 to 7 in order (never row 8), warns
    // of more than five drives, and starts the refresh whatever is answered;
    // Cancel ends the questions, the drive warning included.
    void startChecksThenStartsTheRefresh_data() {
        QTest::addColumn<QString>("sensors");
        QTest::addColumn<int>("drives");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("shown");
        const QString question = "The entry for %1 has not been set\r\nIs this Correct?";
        const QString warning = "Only the first 5 Hard Drices will be displayed";
        QTest::newRow("three unpaired")
            << "1\\junk\\1\\1\\-1\\1\\-1\\1\\-1\\" << 0 << QList<int>{}
            << QStringList{question.arg("CPUTemperature"), question.arg("Core0 Voltage"),
                           question.arg("+5Voltage")};
        QTest::newRow("cancel at the first")
            << "-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\" << 6 << QList<int>{int(Answer::Cancel)}
            << QStringList{question.arg("MBoTemperature")};
        QTest::newRow("five drives")
            << "0\\0\\0\\0\\0\\0\\0\\0\\0\\" << 5 << QList<int>{} << QStringList{};
        QTest::newRow("six drives")
            << "0\\0\\0\\0\\0\\0\\0\\0\\0\\" << 6 << QList<int>{} << QStringList{warning};
    }
    void startChecksThenStartsTheRefresh() {
        QFETCH(QString, sensors);
        QFETCH(int, drives);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, shown);
        FakeWindow machine;
        for (int i = 0; i < drives; ++i)
            machine.drives.push_back({"C:", 0, 0, "/"});
        machine.WriteSettings(("[Korvid]\nSensors=" + sensors + "\n").toLatin1().constData());
        machine.useSavedPairs = true;
        auto w = machine.Make();
        w->Form_Load();
        for (const int answer : answers)
            machine.messages->answers.push_back(Answer(answer));
        w->Start();
        QCOMPARE(machine.messages->shown, shown);
        if (!shown.isEmpty() && shown[0].startsWith("The entry"))
            QCOMPARE(machine.messages->messages[0].buttons, OperatorMessage::Buttons::OkCancel);
        QVERIFY(w->RefreshTimer()->isActive());
    }

    void aboutBoxOpensOnceAndLoadsAfresh() {
        FakeWindow machine;
        auto w = Load(machine);
        w->About();
        QPointer<frmAbout> first = w->AboutBox();
        QVERIFY(first && first->isVisible());
        w->About();
        QCOMPARE(w->AboutBox(), first.data());
        QCOMPARE(first->windowTitle(), QString("About Korvid Halvane"));
        QCOMPARE(first->findChild<QLabel*>("lblTitle")->text(), QString("Korvid Halvane"));
        QCOMPARE(first->findChild<QLabel*>("lblVersion")->text(), QString("Version 1.0.1"));
        QCOMPARE(first->findChild<QLabel*>("lblDisclaimer")->text(),
                 QString("Warning: USE AT YOUR OWN RISK!  This software is provided 'as-is', "
                         "without any express or implied warranty.  In no event will the "
                         "authors be held liable for any damages arising from the use of this "
                         "software."));
        QVERIFY(first->findChild<QLabel*>("lblDescription")->text().startsWith(" Author:"));
        auto* ok = first->findChild<QPushButton*>("cmdOK");
        QVERIFY(ok->isDefault());
        QCOMPARE(first->focusWidget(), ok);

        QTest::keyClick(first, Qt::Key_Escape);
        QTRY_VERIFY(first.isNull());
        w->About();
        QPointer<frmAbout> second = w->AboutBox();
        QVERIFY(second && second->isVisible());
        QTest::keyClick(second->findChild<QPushButton*>("cmdOK"), Qt::Key_Return);
        QTRY_VERIFY(second.isNull());
    }

    void versionShowsFirstSecondAndFourthParts() {
        QCOMPARE(frmAbout::VersionText(1, 0, 0, 1), QString("Version 1.0.1"));
        QCOMPARE(frmAbout::VersionText(2, 3, 9, 7), QString("Version 2.3.7"));
    }

    void closingTheWindowStopsItsTimerAndListener() {
        FakeWindow machine;
        auto w = Load(machine, Answer::Yes);
        w->show();
        QVERIFY(w->RefreshTimer()->isActive());
        QVERIFY(w->ListeningPort() != 0);
        w->close();
        QVERIFY(!w->RefreshTimer()->isActive());
        QCOMPARE(w->ListeningPort(), quint16(0));
    }

    // A display's request, end to end: the report carries what the window
    // shows, the load box keeps the bare number it sent, and the drive list
    // is surveyed afresh.
    void aReportSendsWhatTheWindowShows() {
        FakeWindow machine;
        machine.SetSensor(4, "CPU", 45.5);
        *machine.load = 12;
        auto w = Load(machine);
        Select(*w, "List1", 4);
        Select(*w, "List2", 1);
        w->LinkSensorToParam();
        machine.drives = {{"C:", 1ull << 29, 1ull << 28, "/"}, {"D:", 80000000000ull, 0, "/srv"}};
        auto* type = w->findChild<QLineEdit*>("CPUType");
        type->selectAll();
        QTest::keyClicks(type, "Typed ");
        QTest::sendKeyEvent(QTest::Click, type, Qt::Key_Eacute, QString::fromLatin1("\xE9"),
                            Qt::NoModifier);

        QCOMPARE(Exchange(w->ListeningPort(), QByteArray(1, '\0')),
                 "\r\nMBoTe=NA\\\r\nCPUTe=45.5\\\r\nMBoFa=-NA-\\\r\nCPUFa=-NA-\\\r\n"
                 "Core0=NA\\\r\n3.3-V=NA\\\r\n+5Vol=NA\\\r\n+12Vo=-NA-\\\r\nCPUSp=-NA-\\\r\n"
                 "CPULoading =12\\\r\nCPUDes =Typed \xE9\\\r\nCompName=WS01\\\r\n"
                 "Drive C:=0.5,0.2\\\r\nDrive D:=74.5,0.0\\\r\n");
        QCOMPARE(w->findChild<QLineEdit*>("CompLoad")->text(), QString("12"));
        QCOMPARE(List(*w, "List5")->count(), 2);
        w->RefreshTick();
        QCOMPARE(w->findChild<QLineEdit*>("CompLoad")->text(), QString("12%"));
    }

    // With the port taken at start-up the start-up still runs to its end (the
    // question included) and the warning comes after it; once the port is
    // free the first report carries the nine parameter rows, and the warning
    // is taken down.
    void startUpWithThePortTaken() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        FakeWindow machine;
        const quint16 port = squatter.serverPort();
        machine.options.where.listen = {"*:" + std::to_string(port)};
        auto opened = Load(machine);
        frmMonitor& w = *opened;
        QCOMPARE(machine.messages->shown,
                 QStringList({"Do you wish to use saved data to complete set-up?"}));
        QVERIFY(machine.messages->notices.isEmpty());
        QTRY_COMPARE(machine.messages->notices.size(), 1);
        QVERIFY(machine.messages->notice.contains(QString::number(port)));
        QTest::qWait(300); // retries do not warn again
        QCOMPARE(machine.messages->notices.size(), 1);

        squatter.close();
        QTRY_COMPARE(w.ListeningPort(), port);
        QTRY_VERIFY(machine.messages->notice.isEmpty());
        QCOMPARE(machine.messages->withdrawn.size(), 1);
        QVERIFY(Exchange(port, "x").startsWith("\r\n" + kPlaceholderLines + "CPULoading ="));
    }

    // Connections that cannot be accepted (descriptors exhausted) put up no
    // box: drawing one may need descriptors itself. The service recovers on
    // its own.
    void anAcceptFailureShowsNoBox() {
        FakeWindow machine;
        auto control = std::make_shared<FlakyListener::Switch>();
        machine.exchange.makeListener = [control] {
            return std::make_unique<FlakyListener>(control);
        };
        auto opened = Load(machine);
        frmMonitor& w = *opened;
        control->failAccept = true;
        testing_support::DisplayClient client(w.ListeningPort());
        QTRY_VERIFY(control->accepts >= 2);
        QTest::qWait(50);
        QVERIFY(machine.messages->notices.isEmpty());
        control->failAccept = false;
        QTRY_VERIFY(client.received == "\r\n");
        client.Send("x");
        QVERIFY(client.ClosedByServer());
        QVERIFY(client.received.startsWith("\r\n" + kPlaceholderLines));
        QVERIFY(machine.messages->notices.isEmpty());
    }

    // Settings that cannot be used leave the port closed and say why in a
    // box, not only on a terminal nobody reads; once mended, SIGHUP's reload
    // opens it.
    void unusableSettingsCloseThePortUntilMended() {
        FakeWindow machine;
        machine.WriteSettings("[Korvid]\nAllow=127.0.0.010\n");
        auto w = Load(machine);
        QCOMPARE(w->ListeningPort(), quint16(0));
        QCOMPARE(machine.messages->shown.size(), 2);
        QVERIFY2(machine.messages->shown[0].contains("'127.0.0.010' is no address"),
                 qPrintable(machine.messages->shown[0]));
        QCOMPARE(machine.messages->messages[0].icon, OperatorMessage::Icon::Exclamation);
        machine.WriteSettings("[Korvid]\nAllow=127.0.0.1\n");
        w->Reload();
        QVERIFY(w->ListeningPort() != 0);
        QVERIFY(Exchange(w->ListeningPort(), "x").startsWith("\r\n" + kPlaceholderLines));
    }

    // SIGHUP: pairs that came from the file are read again and shown; pairs
    // the operator has changed since stay as they are.
    void reloadShowsThePairsAgainUnlessChanged() {
        FakeWindow machine;
        machine.SetSensor(3, "CPU", 41);
        machine.WriteSettings("[Korvid]\nSensors=-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\\n");
        auto w = Load(machine, Answer::Yes);
        machine.WriteSettings("[Korvid]\nSensors=3\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\\n");
        w->Reload();
        QCOMPARE(List(*w, "List4")->item(0)->text(), QString("3"));
        QCOMPARE(List(*w, "List3")->item(0)->text(), QString("41"));
        w->Clear();
        w->Reload();
        QCOMPARE(Rows(List(*w, "List4")), kUnpaired);
        QVERIFY(std::any_of(machine.log.begin(), machine.log.end(), [](const std::string& line) {
            return line.find("changed in the window since they were loaded") != std::string::npos;
        }));
    }

    // The two faces hold the same service and take the same steps: a window
    // whose question is answered Yes says, line for line, what the headless
    // face says, at start-up and on SIGHUP.
    void bothFacesSayTheSame() {
        FakeWindow machine;
        machine.WriteSettings("[Korvid]\nSensors=0\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\-1\\\n"
                              "Allow=127.0.0.1 10.0.0.0/8\n");
        machine.options.where.listen = {"127.0.0.1:0"};
        auto said = [&machine] {
            std::vector<std::string> lines = std::exchange(machine.log, {});
            for (std::string& line : lines) // the port the system picked
                if (const auto at = line.find("127.0.0.1:"); at != std::string::npos)
                    line.erase(at + 10, line.find_first_not_of("0123456789", at + 10) - at - 10);
            return lines;
        };
        std::vector<std::string> window;
        {
            auto w = Load(machine, Answer::Yes);
            w->Reload();
            window = said();
        }
        ReportService headless(machine.Environment(), {machine.options.where, true},
                               machine.exchange);
        QVERIFY(StartHeadlessService(headless));
        headless.Reload();
        QCOMPARE(said(), window);
        QVERIFY(window.size() >= 6);
    }

    void quitEndsTheProgramWithoutQuestions() {
        FakeWindow machine;
        bool quit = false;
        machine.quit = [&quit] { quit = true; };
        auto w = Load(machine);
        w->About();
        machine.messages->shown.clear();
        w->findChild<QPushButton*>("Command1")->click();
        QVERIFY(quit);
        QVERIFY(machine.messages->shown.isEmpty());
        QVERIFY(!QFile::exists(QString::fromStdString(machine.SettingsFile())));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
