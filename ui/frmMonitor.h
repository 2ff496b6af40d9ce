#pragma once

// The main window: one face of the report service. It draws the monitor's
// model (the sensor list, the nine parameter rows, the system facts and the
// drive list), writes the operator's commands and edits into it, and tells
// the operator in boxes what the service cannot do.

#include "monitor.h"
#include "operator_messages.h"
#include "report_service.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class QLineEdit;
class QListWidget;
class frmAbout;

// What the window takes from its surroundings besides its service; tests
// replace parts of it.
struct WindowEnvironment {
    std::shared_ptr<OperatorMessages> messages;
    // The start-up question is not asked; the saved pairs load as on Yes.
    bool useSavedPairs = false;
    std::function<void()> quit;
};

// The real one: message boxes, and Quit ending the program.
WindowEnvironment SystemWindowEnvironment();

class frmMonitor : public QWidget {
    Q_OBJECT
public:
    // `service` outlives the window.
    explicit frmMonitor(ReportService& service, WindowEnvironment env = SystemWindowEnvironment(),
                        QWidget* parent = nullptr);
    ~frmMonitor() override;

    // The start-up sequence; runs once, before the window is first shown.
    void Form_Load();
    // Ends a start-up still waiting for the operator (the question is
    // answered with No) and everything after it: the program is stopping.
    void Abandon();

    // The processor's brand string as cCpuInfo reads it.
    QString ProcessData() const;
    // The sensor list, the parameter rows and the drive list as the model
    // holds them.
    void FillSensorList();
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
    // What SIGHUP asks for: the service reads its settings again, and the
    // window shows what changed.
    void Reload();

    Monitor& monitor() { return service_.monitor(); }
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
    void RenderParams();
    void RenderLoad();
    void RenderSensorSource();
    OperatorMessage::Answer Ask(const OperatorMessage& message);

    void TellSettingsProblem();

    ReportService& service_;
    Monitor& monitor_;
    WindowEnvironment env_;
    QPointer<frmAbout> about_;
    QTimer tmrRefresh;
    bool abandoned_ = false;

    QListWidget* List1 = nullptr;
    QListWidget* List2 = nullptr;
    QListWidget* List3 = nullptr;
    QListWidget* List4 = nullptr;
    QListWidget* List5 = nullptr;
    QLineEdit* CompName = nullptr;
    QLineEdit* CompLoad = nullptr;
    QLineEdit* CPUType = nullptr;
};
