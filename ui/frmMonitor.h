#pragma once

// The main window: the sensor list, the nine parameter rows, the system facts,
// the drive list, and the socket that serves the report.

#include "cpu_info.h"
#include "cpu_usage.h"
#include "drive_survey.h"
#include "frmAbout.h"
#include "mod_mbm_access.h"
#include "operator_messages.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Korvid;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// What the window takes from the machine. SystemEnvironment() gives the real
// one; tests replace parts of it.
struct MonitorEnvironment {
    quint16 port = 9001; // 0 picks a free port (tests)
    std::function<modMBMAccess::SensorSnapshot()> readSnapshot;
    std::function<std::unique_ptr<cCPUID>()> makeCpuid;
    std::function<std::unique_ptr<clsCPUUsage>()> makeCpuUsage;
    std::function<std::string()> computerName;
    std::function<std::vector<FixedDrive>()> surveyDrives;
    std::string settingsFile;
    char decimalSeparator = '.';
    std::shared_ptr<OperatorMessages> messages;
    std::function<void()> quit;
    int listenRetryMs = 2000;
};
MonitorEnvironment SystemEnvironment();

class frmMonitor : public QWidget {
    Q_OBJECT
public:
    explicit frmMonitor(MonitorEnvironment env = SystemEnvironment(), QWidget* parent = nullptr);
    ~frmMonitor() override;

    // The start-up sequence; runs once, before the window is first shown.
    void Form_Load();

    // The processor's brand string as cCpuInfo reads it.
    QString ProcessData() const;
    void FillSensorList(const modMBMAccess::SensorSnapshot& snapshot);
    void ResetPairingLists();
    void DetectDrives();
    void LoadPairings();

    // Button handlers.
    void LinkSensorToParam(); // Command5
    void Clear();             // Command2
    void SavePairings();      // Command4
    void Start();             // Command3
    void Quit();              // Command1
    void About();             // Command6

    // One refresh of the readings; tmrRefresh calls it every 500 ms.
    void RefreshTick();

    QTimer* RefreshTimer() { return &tmrRefresh; }
    frmAbout* AboutBox() const { return about_; }
    // The port the service listens on now; 0 while it is not listening.
    quint16 ListeningPort() const;

protected:
    // Closing the window unloads it: its timer and its socket stop with it.
    // The program ends when no window is left, so an open About box keeps it
    // running until that box is closed too.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void InsertDriveRows(const std::vector<FixedDrive>& drives);
    void RebuildDriveList();
    void StartListening();
    void Korvid_ConnectionRequest(int requestID);
    void Korvid_DataArrival(qint64 bytesTotal);
    void Korvid_SendComplete();
    void Korvid_ConnectionLost();
    OperatorMessage::Answer Ask(const OperatorMessage& message);
    QString LoadText(std::int32_t load) const;

    MonitorEnvironment env_;
    std::unique_ptr<cCpuInfo> cpuInfo_;
    std::unique_ptr<clsCPUUsage> cpuUsage_;
    QPointer<frmAbout> about_;
    QTimer tmrRefresh;
    QTimer listenRetry_;
    bool portWarningShown_ = false;
    int SendPhase = 0;

    Korvid* Korvid_ = nullptr;
    QListWidget* List1 = nullptr;
    QListWidget* List2 = nullptr;
    QListWidget* List3 = nullptr;
    QListWidget* List4 = nullptr;
    QListWidget* List5 = nullptr;
    QLineEdit* CompName = nullptr;
    QLineEdit* CompLoad = nullptr;
    QLineEdit* CPUType = nullptr;
};
