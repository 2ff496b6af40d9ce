#pragma once

// The main window: the sensor list, the nine parameter rows, the system
// facts and the drive list, which are what the report service sends.

#include "monitor_environment.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

class QLineEdit;
class QListWidget;
class ReportService;
class frmAbout;

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
    frmAbout* AboutBox() const;
    // The port the report service listens on now; 0 while it is not listening.
    quint16 ListeningPort() const;

protected:
    // Closing the window unloads it: its timer and its service stop with it.
    // The program ends when no window is left, so an open About box keeps it
    // running until that box is closed too.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    // What a report sends, read from the controls as they stand.
    ReportInputs ReportInputsNow();
    void InsertDriveRows(const std::vector<FixedDrive>& drives);
    void RebuildDriveList();
    OperatorMessage::Answer Ask(const OperatorMessage& message);

    MonitorEnvironment env_;
    std::unique_ptr<cCpuInfo> cpuInfo_;
    std::unique_ptr<clsCPUUsage> cpuUsage_;
    QPointer<frmAbout> about_;
    QTimer tmrRefresh;
    ReportService* service_ = nullptr;
    QElapsedTimer driveSurveyAge_;

    QListWidget* List1 = nullptr;
    QListWidget* List2 = nullptr;
    QListWidget* List3 = nullptr;
    QListWidget* List4 = nullptr;
    QListWidget* List5 = nullptr;
    QLineEdit* CompName = nullptr;
    QLineEdit* CompLoad = nullptr;
    QLineEdit* CPUType = nullptr;
};
