#include "frmMonitor.h"

#include "frmAbout.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>

namespace {

// Displays show this many drives; Start warns when the list holds more.
constexpr std::size_t kDisplayedDrives = 5;

QString Text(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
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

} // namespace

WindowEnvironment SystemWindowEnvironment() {
    WindowEnvironment env;
    env.messages = std::make_shared<MessageBoxMessages>();
    env.quit = [] { QCoreApplication::exit(0); };
    return env;
}

frmMonitor::frmMonitor(ReportService& service, WindowEnvironment env, QWidget* parent)
    : QWidget(parent), service_(service), monitor_(service.monitor()), env_(std::move(env)) {
    BuildControls();
    tmrRefresh.setInterval(korvid::kRefreshInterval);
    connect(&tmrRefresh, &QTimer::timeout, this, &frmMonitor::RefreshTick);
    // What the operator types into these two boxes is what reports send.
    connect(CPUType, &QLineEdit::textEdited, this,
            [this](const QString& text) { monitor_.SetCpuType(Bytes(text)); });
    connect(CompName, &QLineEdit::textEdited, this,
            [this](const QString& text) { monitor_.SetCompName(Bytes(text)); });

    // The service raises these from inside its socket handling; queued, they
    // are shown once that is over.
    connect(
        &service_, &ReportService::ListenFailed, this,
        [this](const QString& text, bool lasting) {
            env_.messages->Notify(
                this,
                {"Cannot serve displays: " + text +
                     (lasting ? QStringLiteral(".")
                              : QStringLiteral(".\r\nKorvid Halvane will keep trying and serve "
                                               "displays as soon as the port is free.")),
                 OperatorMessage::Buttons::Ok, OperatorMessage::Icon::Exclamation,
                 OperatorMessage::Answer::Ok});
        },
        Qt::QueuedConnection);
    connect(
        &service_, &ReportService::ListeningAgain, this,
        [this](const QString& where) {
            env_.messages->Withdraw("Listening again on " + where + ".");
        },
        Qt::QueuedConnection);
    // A report carries a fresh load, which the load box then shows without
    // its "%" until the next tick, and the drives as surveyed for it.
    connect(&service_, &ReportService::Reported, this, [this] {
        RenderLoad();
        DetectDrives();
    });
    connect(&service_, &ReportService::PairsChanged, this, &frmMonitor::RenderParams);
}

frmMonitor::~frmMonitor() {
    delete about_;
}

void frmMonitor::Form_Load() {
    monitor_.StartUp();
    tmrRefresh.stop();
    const MonitorModel& model = monitor_.Model();
    CPUType->setText(Text(model.cpuType));
    CPUType->setCursorPosition(0);
    setWindowTitle(windowTitle() + Text(model.compName));
    CompName->setText(Text(model.compName));
    if (service_.ReadSettings())
        service_.Listen();
    else
        TellSettingsProblem();
    FillSensorList();
    ResetPairingLists();
    RenderLoad();
    DetectDrives();
    const auto answer = env_.useSavedPairs
                            ? OperatorMessage::Answer::Yes
                            : Ask({"Do you wish to use saved data to complete set-up?",
                                   OperatorMessage::Buttons::YesNo, OperatorMessage::Icon::Question,
                                   OperatorMessage::Answer::Yes});
    if (abandoned_) return;
    if (answer == OperatorMessage::Answer::Yes) {
        LoadPairings();
        tmrRefresh.start();
    }
}

// Settings that cannot be told leave the port closed: guessing would serve
// displays that the operator meant to leave out.
void frmMonitor::TellSettingsProblem() {
    if (monitor_.Environment().log)
        monitor_.Environment().log(service_.SettingsProblem() +
                                   "; not serving displays until it is mended");
    Ask({"Korvid Halvane does not serve displays: the settings in " +
             Text(service_.SettingsFile()) + " cannot be used.\r\n" +
             Text(service_.SettingsProblem()) +
             "\r\nMend the file, then start Korvid Halvane again or send it SIGHUP.",
         OperatorMessage::Buttons::Ok, OperatorMessage::Icon::Exclamation,
         OperatorMessage::Answer::Ok});
}

void frmMonitor::Reload() {
    service_.Reload();
}

void frmMonitor::Abandon() {
    abandoned_ = true;
    close();
}

QString frmMonitor::ProcessData() const {
    return Text(monitor_.ProcessData());
}

OperatorMessage::Answer frmMonitor::Ask(const OperatorMessage& message) {
    return env_.messages->Show(this, message);
}

frmAbout* frmMonitor::AboutBox() const {
    return about_;
}

quint16 frmMonitor::ListeningPort() const {
    return service_.ListeningPort();
}

// ---- Drawing the model ------------------------------------------------------

void frmMonitor::FillSensorList() {
    for (int slot = 0; slot < modMBMAccess::kSensorCount; ++slot)
        List1->addItem(Text(SensorRowText(monitor_.Model(), slot)));
    RenderSensorSource();
}

void frmMonitor::ResetPairingLists() {
    monitor_.Clear();
    List2->clear();
    List3->clear();
    List4->clear();
    for (int row = 0; row < pairing::kParamCount; ++row) {
        List2->addItem(Text(pairing::kParamNames[row]));
        List3->addItem(Text(ValueText(monitor_.Model(), row)));
        List4->addItem(Text(monitor_.Model().params[static_cast<std::size_t>(row)].sensor));
    }
}

void frmMonitor::RenderParams() {
    const MonitorModel& model = monitor_.Model();
    for (int row = 0; row < pairing::kParamCount; ++row) {
        ReplaceRow(List3, row, Text(ValueText(model, row)));
        ReplaceRow(List4, row, Text(model.params[static_cast<std::size_t>(row)].sensor));
    }
}

void frmMonitor::RenderLoad() {
    SetText(CompLoad, Text(LoadText(monitor_.Model())));
}

void frmMonitor::RenderSensorSource() {
    const QString problem = Text(monitor_.SensorSourceProblem());
    if (List1->toolTip() != problem) List1->setToolTip(problem);
}

// The drive rows as the model holds them; a list that shows them already is
// left as it is.
void frmMonitor::DetectDrives() {
    const std::vector<FixedDrive>& drives = monitor_.Model().drives;
    const char separator = monitor_.Model().decimalSeparator;
    bool same = List5->count() == static_cast<int>(drives.size());
    for (int row = 0; same && row < List5->count(); ++row)
        same = List5->item(row)->text() == Text(DriveRowText(drives[row], separator)) &&
               List5->item(row)->toolTip() == Text(drives[row].Location);
    if (same) return;
    List5->clear();
    for (const FixedDrive& drive : drives) {
        auto* item = new QListWidgetItem(Text(DriveRowText(drive, separator)));
        item->setToolTip(Text(drive.Location));
        List5->addItem(item);
    }
}

// ---- Pairing and the settings file ---------------------------------------

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
    monitor_.Link(sensor, param);
    RenderParams();
}

void frmMonitor::Clear() {
    ResetPairingLists();
}

void frmMonitor::SavePairings() {
    std::string error;
    if (!monitor_.SavePairings(&error)) {
        Ask({"The sensor pairs could not be saved to " + Text(service_.SettingsFile()) + ".\r\n" +
                 Text(error),
             OperatorMessage::Buttons::Ok, OperatorMessage::Icon::Exclamation,
             OperatorMessage::Answer::Ok});
    }
}

void frmMonitor::LoadPairings() {
    service_.LoadPairs();
    RenderParams();
}

// ---- Refresh timer and commands -----------------------------------------

void frmMonitor::RefreshTick() {
    monitor_.Refresh();
    RenderParams();
    RenderLoad();
    RenderSensorSource();
}

void frmMonitor::Start() {
    bool cancelled = false;
    for (const int row : monitor_.UnpairedCheckedRows()) {
        cancelled = Ask({"The entry for " + List2->item(row)->text() +
                             " has not been set\r\nIs this Correct?",
                         OperatorMessage::Buttons::OkCancel, OperatorMessage::Icon::Question,
                         OperatorMessage::Answer::Ok}) == OperatorMessage::Answer::Cancel;
        if (cancelled) break;
    }
    if (!cancelled && monitor_.Model().drives.size() > kDisplayedDrives) {
        Ask({"Only the first 5 Hard Drices will be displayed", OperatorMessage::Buttons::Ok,
             OperatorMessage::Icon::Exclamation, OperatorMessage::Answer::Ok});
    }
    tmrRefresh.start();
}

void frmMonitor::closeEvent(QCloseEvent* event) {
    tmrRefresh.stop();
    service_.Stop();
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
