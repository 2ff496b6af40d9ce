#include "frmMonitor.h"

#include "computer_name.h"
#include "frmAbout.h"
#include "icons.h"
#include "korvid_socket.h"
#include "korvid_version.h"
#include "pairing.h"
#include "profile.h"
#include "report.h"
#include "twips.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>

namespace {

QString Text(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

std::string RowText(const QListWidget* list, int row) {
    const QListWidgetItem* item = list->item(row);
    return item ? Bytes(item->text()) : std::string();
}

// The selected row of a single-selection list, -1 when none is selected.
int SelectedRow(const QListWidget* list) {
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

// Puts the new text in as row `row`, then removes the old text that the
// insertion pushed down, so the list keeps its rows in order. A row that
// already reads so is left alone (no relayout, no repaint).
void ReplaceRow(QListWidget* list, int row, const QString& text) {
    if (const QListWidgetItem* item = list->item(row); item && item->text() == text) return;
    list->insertItem(row, text);
    delete list->takeItem(row + 1);
}

void SetText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) edit->setText(text);
}

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? point.at(0).toLatin1() : '.';
}

constexpr const char* kSettingsFile = "Korvid.INI";
constexpr const char* kSettingsSection = "Korvid";
constexpr const char* kSettingsKey = "Sensors";

} // namespace

MonitorEnvironment SystemEnvironment() {
    MonitorEnvironment env;
    env.readSnapshot = [] { return modMBMAccess::ReadSnapshot(); };
    env.makeCpuid = [] { return std::make_unique<cCPUID>(); };
    env.makeCpuUsage = [] { return std::make_unique<clsCPUUsage>(); };
    env.computerName = ComputerName;
    env.surveyDrives = SurveyFixedDrives;
    env.settingsFile = profile::SettingsFilePath(kSettingsFile);
    env.decimalSeparator = SystemDecimalSeparator();
    env.messages = std::make_shared<MessageBoxMessages>();
    env.quit = [] { QCoreApplication::exit(0); };
    return env;
}

frmMonitor::frmMonitor(MonitorEnvironment env, QWidget* parent)
    : QWidget(parent), env_(std::move(env)) {
    BuildControls();
    tmrRefresh.setInterval(500);
    connect(&tmrRefresh, &QTimer::timeout, this, &frmMonitor::RefreshTick);
    listenRetry_.setInterval(env_.listenRetryMs);
    connect(&listenRetry_, &QTimer::timeout, this, &frmMonitor::StartListening);

    Korvid_ = new Korvid(this);
    Korvid_->setObjectName("Korvid");
    Korvid_->SetLocalPort(env_.port);
    connect(Korvid_, &Korvid::ConnectionRequest, this, &frmMonitor::Korvid_ConnectionRequest);
    connect(Korvid_, &Korvid::DataArrival, this, &frmMonitor::Korvid_DataArrival);
    connect(Korvid_, &Korvid::SendComplete, this, &frmMonitor::Korvid_SendComplete);
    connect(Korvid_, &Korvid::ConnectionLost, this, &frmMonitor::Korvid_ConnectionLost);
}

frmMonitor::~frmMonitor() {
    delete about_;
}

void frmMonitor::Form_Load() {
    const modMBMAccess::SensorSnapshot snapshot = env_.readSnapshot();
    tmrRefresh.stop();
    cpuInfo_ = std::make_unique<cCpuInfo>(env_.makeCpuid());
    CPUType->setText(Text(pairing::CpuTypeText(Bytes(ProcessData()))));
    CPUType->setCursorPosition(0);
    const QString name = Text(env_.computerName());
    setWindowTitle(windowTitle() + name);
    CompName->setText(name);
    cpuUsage_ = env_.makeCpuUsage();
    StartListening();
    FillSensorList(snapshot);
    ResetPairingLists();
    CompLoad->setText(LoadText(cpuUsage_->Usage()) + '%');
    DetectDrives();
    const auto answer =
        Ask({"Do you wish to use saved data to complete set-up?", OperatorMessage::Buttons::YesNo,
             OperatorMessage::Icon::Question, OperatorMessage::Answer::Yes});
    if (answer == OperatorMessage::Answer::Yes) {
        LoadPairings();
        tmrRefresh.start();
    }
}

QString frmMonitor::ProcessData() const {
    return cpuInfo_ ? Text(cpuInfo_->NameStr()) : QString();
}

QString frmMonitor::LoadText(std::int32_t load) const {
    return QString::number(load);
}

OperatorMessage::Answer frmMonitor::Ask(const OperatorMessage& message) {
    return env_.messages->Show(this, message);
}

quint16 frmMonitor::ListeningPort() const {
    return Korvid_->ListeningPort();
}

// ---- Sensor list and pairing -------------------------------------------

void frmMonitor::FillSensorList(const modMBMAccess::SensorSnapshot& snapshot) {
    for (int slot = 0; slot < modMBMAccess::kSensorCount; ++slot)
        List1->addItem(
            Text(pairing::SensorRowText(slot, snapshot.Sensors[slot], env_.decimalSeparator)));
}

void frmMonitor::ResetPairingLists() {
    List2->clear();
    List3->clear();
    List4->clear();
    for (int row = 0; row < pairing::kParamCount; ++row) {
        List2->addItem(Text(pairing::kParamNames[row]));
        List3->addItem(Text(pairing::kPlaceholders[row]));
        List4->addItem(Text(pairing::kUnpaired));
    }
}

void frmMonitor::LinkSensorToParam() {
    const int sensor = SelectedRow(List1);
    const int param = SelectedRow(List2);
    if (sensor == -1 || param == -1) {
        Ask({"You have not selected the MBM Sensor - LCDHype Param pair.\r\n"
             "Please select the required Sensor & Param and try again.",
             OperatorMessage::Buttons::Ok, OperatorMessage::Icon::Exclamation,
             OperatorMessage::Answer::Ok});
        return;
    }
    ReplaceRow(List3, param, Text(pairing::ValueTextOfRow(RowText(List1, sensor))));
    ReplaceRow(List4, param, QString::number(sensor));
}

void frmMonitor::Clear() {
    ResetPairingLists();
}

// ---- Settings file ------------------------------------------------------

void frmMonitor::SavePairings() {
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(List4->count()));
    for (int row = 0; row < List4->count(); ++row)
        texts.push_back(RowText(List4, row));
    std::string error;
    if (!profile::WriteString(kSettingsSection, kSettingsKey, pairing::JoinSensorsValue(texts),
                              env_.settingsFile, &error)) {
        Ask({"The sensor pairs could not be saved to " + Text(env_.settingsFile) + ".\r\n" +
                 Text(error),
             OperatorMessage::Buttons::Ok, OperatorMessage::Icon::Exclamation,
             OperatorMessage::Answer::Ok});
    }
}

void frmMonitor::LoadPairings() {
    const std::string value =
        profile::GetString(kSettingsSection, kSettingsKey, "", 99, env_.settingsFile);
    List4->clear();
    for (const std::string& item : pairing::SplitSensorsValue(value))
        List4->addItem(Text(item));
}

// ---- Drives ---------------------------------------------------------------

void frmMonitor::DetectDrives() {
    InsertDriveRows(env_.surveyDrives());
}

void frmMonitor::InsertDriveRows(const std::vector<FixedDrive>& drives) {
    int index = 0;
    for (const FixedDrive& drive : drives) {
        auto* item = new QListWidgetItem(Text(DriveRowText(drive, env_.decimalSeparator)));
        item->setToolTip(Text(drive.Location));
        List5->insertItem(index++, item);
    }
}

void frmMonitor::RebuildDriveList() {
    // The same rows as List5->clear() and DetectDrives() would give; when the
    // survey finds what the list shows already, the list is left as it is.
    const std::vector<FixedDrive> drives = env_.surveyDrives();
    bool same = List5->count() == static_cast<int>(drives.size());
    for (int row = 0; same && row < List5->count(); ++row)
        same = List5->item(row)->text() == Text(DriveRowText(drives[row], env_.decimalSeparator)) &&
               List5->item(row)->toolTip() == Text(drives[row].Location);
    if (same) return;
    List5->clear();
    InsertDriveRows(drives);
}

// ---- Refresh timer and commands -----------------------------------------

void frmMonitor::RefreshTick() {
    const modMBMAccess::SensorSnapshot snapshot = env_.readSnapshot();
    for (int row = 0; row < pairing::kParamCount; ++row) {
        const auto slot = pairing::SensorSlotOf(RowText(List4, row));
        if (!slot) continue;
        ReplaceRow(
            List3, row,
            Text(pairing::ReadingText(snapshot.Sensors[*slot].Current, env_.decimalSeparator)));
    }
    SetText(CompLoad, LoadText(cpuUsage_->Usage()) + '%');
}

void frmMonitor::Start() {
    bool cancelled = false;
    // Row 8 (CPUSpeed) is optional and never asked about.
    for (int row = 0; row < 8 && !cancelled; ++row) {
        if (pairing::SensorSlotOf(RowText(List4, row))) continue;
        cancelled = Ask({"The entry for " + List2->item(row)->text() +
                             " has not been set\r\nIs this Correct?",
                         OperatorMessage::Buttons::OkCancel, OperatorMessage::Icon::Question,
                         OperatorMessage::Answer::Ok}) == OperatorMessage::Answer::Cancel;
    }
    if (!cancelled && List5->count() > 5) {
        Ask({"Only the first 5 Hard Drices will be displayed", OperatorMessage::Buttons::Ok,
             OperatorMessage::Icon::Exclamation, OperatorMessage::Answer::Ok});
    }
    tmrRefresh.start();
}

void frmMonitor::closeEvent(QCloseEvent* event) {
    tmrRefresh.stop();
    listenRetry_.stop();
    Korvid_->Close();
    QWidget::closeEvent(event);
}

void frmMonitor::Quit() {
    env_.quit();
}

void frmMonitor::About() {
    if (!about_) {
        // Top-level, so that an open About box keeps the program running after
        // the main window closes.
        about_ = new frmAbout();
        about_->setAttribute(Qt::WA_DeleteOnClose);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

// ---- Network service ----------------------------------------------------

void frmMonitor::StartListening() {
    Korvid_->SetLocalPort(env_.port);
    if (Korvid_->Listen()) {
        // With port 0 the system picked one; keep it for every later Listen.
        if (env_.port == 0) env_.port = Korvid_->ListeningPort();
        listenRetry_.stop();
        portWarningShown_ = false;
        return;
    }
    if (!listenRetry_.isActive()) listenRetry_.start();
    if (!portWarningShown_) {
        portWarningShown_ = true;
        Ask({QString("Korvid Halvane cannot listen on TCP port %1: %2\r\n"
                     "It will keep trying every %3 seconds and serve displays as soon as the "
                     "port is free.")
                 .arg(env_.port)
                 .arg(Korvid_->ErrorText())
                 .arg(env_.listenRetryMs / 1000.0),
             OperatorMessage::Buttons::Ok, OperatorMessage::Icon::Exclamation,
             OperatorMessage::Answer::Ok});
    }
}

void frmMonitor::Korvid_ConnectionRequest(int requestID) {
    if (Korvid_->State() != Korvid::sckClosed) Korvid_->Close();
    Korvid_->Accept(requestID);
    SendPhase = 0;
    Korvid_->SendData(QByteArrayLiteral("\r\n"));
}

void frmMonitor::Korvid_DataArrival(qint64) {
    Korvid_->GetData(); // any request gets the report
    ReportInputs report;
    for (int row = 0; row < pairing::kParamCount; ++row) {
        report.paramNames.push_back(RowText(List2, row));
        report.values.push_back(RowText(List3, row));
    }
    SetText(CompLoad, LoadText(cpuUsage_->Usage()));
    SendPhase = 1;
    report.cpuLoad = Bytes(CompLoad->text());
    report.cpuType = Bytes(CPUType->text());
    report.compName = Bytes(CompName->text());
    RebuildDriveList();
    for (int row = 0; row < List5->count(); ++row)
        report.driveRows.push_back(RowText(List5, row));
    const std::string text = BuildReport(report);
    Korvid_->SendData(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    // Pending events run once; the send's completion may close the connection
    // here, so nothing may follow.
    QCoreApplication::processEvents();
}

void frmMonitor::Korvid_SendComplete() {
    if (SendPhase == 1) {
        Korvid_->Close();
        StartListening();
    }
    if (SendPhase == 0) SendPhase = 1;
}

void frmMonitor::Korvid_ConnectionLost() {
    // The client left, or the connection failed, before its report went out:
    // serve the next one.
    Korvid_->Close();
    StartListening();
}

// ---- Controls -------------------------------------------------------------

void frmMonitor::BuildControls() {
    setObjectName("frmMonitor");
    setWindowTitle("Halvane on ");
    setWindowIcon(ProgramIcon());
    QFont small = font();
    small.setPointSizeF(7.5);
    setFont(small);
    const qreal dx = logicalDpiX();
    const qreal dy = logicalDpiY();
    resize(TwipsToPixels(6105, dx), TwipsToPixels(4410, dy));

    auto label = [this](const char* name, const QString& text, int l, int t, int w, int h) {
        auto* widget = new QLabel(text, this);
        widget->setObjectName(name);
        PlaceInTwips(widget, l, t, w, h);
        return widget;
    };
    auto list = [this](const char* name, int l, int t, int w, int h) {
        auto* widget = new QListWidget(this);
        widget->setObjectName(name);
        widget->setSelectionMode(QAbstractItemView::SingleSelection);
        widget->setSortingEnabled(false);
        PlaceInTwips(widget, l, t, w, h);
        return widget;
    };
    auto edit = [this](const char* name, const QString& text, int l, int t, int w, int h) {
        auto* widget = new QLineEdit(text, this);
        widget->setObjectName(name);
        PlaceInTwips(widget, l, t, w, h);
        return widget;
    };
    auto button = [this](const char* name, const QString& text, int l, int t, int w, int h,
                         void (frmMonitor::*handler)()) {
        auto* widget = new QPushButton(text, this);
        widget->setObjectName(name);
        widget->setAutoDefault(false);
        PlaceInTwips(widget, l, t, w, h);
        connect(widget, &QPushButton::clicked, this, handler);
        return widget;
    };

    label("Label3", "MBM Sensor List", 120, 30, 1335, 255);
    List1 = list("List1", 80, 240, 2775, 3180);
    label("Label4", "LCDHype Param", 3000, 30, 1335, 255);
    List2 = list("List2", 2990, 240, 1500, 1815);
    label("Label5", "Value", 4650, 30, 615, 255);
    List3 = list("List3", 4625, 240, 675, 1815);
    label("Label6", "Sensor", 5440, 30, 615, 255);
    List4 = list("List4", 5425, 240, 605, 1815);
    QLineEdit* Text1 = edit("Text1", "Sys Name", 2990, 2160, 855, 285);
    CompName = edit("CompName", "", 3950, 2160, 2095, 285);
    QLineEdit* Text3 = edit("Text3", "CPU Load", 2990, 2520, 855, 285);
    CompLoad = edit("CompLoad", "", 3950, 2520, 2095, 285);
    QLineEdit* Text2 = edit("Text2", "CPU Type", 2990, 2880, 855, 285);
    CPUType = edit("CPUType", "", 3950, 2880, 2095, 285);
    label("Label2", "Hard Drive" + QString(22, ' ') + "Size" + QString(6, ' ') + "Free", 3010, 3280,
          3255, 255);
    List5 = list("List5", 3000, 3480, 3030, 840);
    QPushButton* Command5 = button("Command5", "Link Sensor to Param ", 80, 3500, 2044, 375,
                                   &frmMonitor::LinkSensorToParam);
    QPushButton* Command6 = button("Command6", "About", 2246, 3500, 600, 375, &frmMonitor::About);
    QPushButton* Command3 = button("Command3", "Start", 80, 3960, 600, 375, &frmMonitor::Start);
    QPushButton* Command1 = button("Command1", "Quit", 802, 3960, 600, 375, &frmMonitor::Quit);
    QPushButton* Command2 = button("Command2", "Clear", 1524, 3960, 600, 375, &frmMonitor::Clear);
    QPushButton* Command4 =
        button("Command4", "Save", 2246, 3960, 600, 375, &frmMonitor::SavePairings);

    QWidget* const order[] = {Command1, List1,    List2,    List3,    List4,   Text1,
                              List5,    CompName, Command2, Command3, Text3,   CompLoad,
                              Command4, Text2,    CPUType,  Command5, Command6};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    Command1->setFocus();
}
