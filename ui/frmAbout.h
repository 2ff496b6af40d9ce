#pragma once

// The modeless About box: title, version, credits and disclaimer.

#include <QDialog>

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // "Version 1.0.1": the first, second and fourth parts of the version.
    static QString VersionText(int major, int minor, int patch, int revision);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Form_Load();
};
