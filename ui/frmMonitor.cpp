#include "frmMonitor.h"

#include "frmAbout.h"
#include "pairing.h"
#include "profile.h"
#include "report_service.h"

#include <QLineEdit>
#include <QListWidget>

namespace {

constexpr const char* kSettingsSection = "Korvid";
constexpr const char* kSettingsKey = "Sensors";
// A load reads at most this many characters of the stored value.
constexpr std::size_t kLoadedValueChars = 99;
// Start asks about unpaired rows 0 to 7; row 8 (CPUSpeed) is optional.
constexpr int kCheckedParamRows = 8;
// Displays show this many drives; Start warns when the list holds more.
constexpr int kDisplayedDrives = 5;

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

QString LoadText(std::int32_t load) {
    return QString::number(load);
}

} // namespace

frmMonitor::frmMonitor(MonitorEnvironment env, QWidget* parent)
    : QWidget(parent), env_(std::move(env)) {
    BuildControls();
    tmrRefresh.setInterval(500);
    connect(&tmrRefresh, &QTimer::timeout, this, &frmMonitor::RefreshTick);

    service_ = new ReportService([this] { return ReportInputsNow(); }, env_.serviceLimits,
                                 env_.makeListener(), this);
    // The service raises these from inside its socket handling; queued, they
    // are shown once that is over.
    connect(
        service_, &ReportService::ListenFailed, this,
        [this](const QString& text) {
            env_.messages->Notify(this, {text, OperatorMessage::Buttons::Ok,
                                         OperatorMessage::Icon::Exclamation,
                                         OperatorMessage::Answer::Ok});
        },
        Qt::QueuedConnection);
    connect(
        service_, &ReportService::ListeningAgain, this,
        [this](const QString& text) { env_.messages->Withdraw(text); }, Qt::QueuedConnection);
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
    service_->Start(env_.port);
    FillSensorList(snapshot);
    ResetPairingLists();
    CompLoad->setText(LoadText(cpuUsage_->Usage()) + '%');
    DetectDrives();
    const auto answer = env_.useSavedPairs
                            ? OperatorMessage::Answer::Yes
                            : Ask({"Do you wish to use saved data to complete set-up?",
                                   OperatorMessage::Buttons::YesNo, OperatorMessage::Icon::Question,
                                   OperatorMessage::Answer::Yes});
    if (answer == OperatorMessage::Answer::Yes) {
        LoadPairings();
        tmrRefresh.start();
    }
}

QString frmMonitor::ProcessData() const {
    return cpuInfo_ ? Text(cpuInfo_->NameStr()) : QString();
}

OperatorMessage::Answer frmMonitor::Ask(const OperatorMessage& message) {
    return env_.messages->Show(this, message);
}

frmAbout* frmMonitor::AboutBox() const {
    return about_;
}

quint16 frmMonitor::ListeningPort() const {
    return service_->ListeningPort();
}

ReportInputs frmMonitor::ReportInputsNow() {
    ReportInputs report;
    for (int row = 0; row < pairing::kParamCount; ++row) {
        report.paramNames.push_back(RowText(List2, row));
        report.values.push_back(RowText(List3, row));
    }
    // The report's load is a fresh reading, sent without its "%"; the box
    // shows it as sent until the next tick writes it with the "%" again.
    SetText(CompLoad, LoadText(cpuUsage_->Usage()));
    report.cpuLoad = Bytes(CompLoad->text());
    report.cpuType = Bytes(CPUType->text());
    report.compName = Bytes(CompName->text());
    RebuildDriveList();
    for (int row = 0; row < List5->count(); ++row)
        report.driveRows.push_back(RowText(List5, row));
    return report;
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
    const std::string value = profile::GetString(kSettingsSection, kSettingsKey, "",
                                                 kLoadedValueChars, env_.settingsFile);
    List4->clear();
    for (const std::string& item : pairing::SplitSensorsValue(value))
        List4->addItem(Text(item));
}

// ---- Drives ---------------------------------------------------------------

void frmMonitor::DetectDrives() {
    InsertDriveRows(env_.surveyDrives());
    driveSurveyAge_.start();
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
    if (driveSurveyAge_.isValid() && driveSurveyAge_.elapsed() < env_.driveSurveyReuse.count())
        return;
    // The same rows as List5->clear() and DetectDrives() would give; when the
    // survey finds what the list shows already, the list is left as it is.
    const std::vector<FixedDrive> drives = env_.surveyDrives();
    driveSurveyAge_.start();
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
    for (int row = 0; row < kCheckedParamRows && !cancelled; ++row) {
        if (pairing::SensorSlotOf(RowText(List4, row))) continue;
        cancelled = Ask({"The entry for " + List2->item(row)->text() +
                             " has not been set\r\nIs this Correct?",
                         OperatorMessage::Buttons::OkCancel, OperatorMessage::Icon::Question,
                         OperatorMessage::Answer::Ok}) == OperatorMessage::Answer::Cancel;
    }
    if (!cancelled && List5->count() > kDisplayedDrives) {
        Ask({"Only the first 5 Hard Drices will be displayed", OperatorMessage::Buttons::Ok,
             OperatorMessage::Icon::Exclamation, OperatorMessage::Answer::Ok});
    }
    tmrRefresh.start();
}

void frmMonitor::closeEvent(QCloseEvent* event) {
    tmrRefresh.stop();
    service_->Stop();
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
