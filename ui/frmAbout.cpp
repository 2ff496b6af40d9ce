#include "frmAbout.h"

#include "icons.h"
#include "korvid_facts.h"
#include "twips.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("frmAbout");
    QFont small = font();
    small.setPointSizeF(7.5);
    setFont(small);
    setFixedSize(TwipsToPixels(5730, logicalDpiX()), TwipsToPixels(3555, logicalDpiY()));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto label = [this](const char* name, int l, int t, int w, int h) {
        auto* widget = new QLabel(this);
        widget->setObjectName(name);
        widget->setWordWrap(true);
        widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        PlaceInTwips(widget, l, t, w, h);
        return widget;
    };
    auto* picIcon = label("picIcon", 240, 240, 540, 540);
    picIcon->setPixmap(AboutPicture());
    picIcon->setAlignment(Qt::AlignCenter);
    QLabel* title = label("lblTitle", 1050, 240, 3885, 480);
    QFont big = title->font();
    big.setPointSizeF(12);
    big.setBold(true);
    title->setFont(big);
    label("lblVersion", 1050, 780, 3885, 225);
    label("lblDescription", 1050, 1125, 3885, 1170);
    QLabel* disclaimer = label("lblDisclaimer", 255, 2625, 3870, 825);
    // The disclaimer's five lines must fit its fixed height.
    QFont smaller = disclaimer->font();
    smaller.setPointSizeF(7);
    disclaimer->setFont(smaller);

    auto* cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    PlaceInTwips(cmdOK, 4245, 2625, 1260, 345);
    // Default button for Enter; QDialog maps Esc to reject(), the same as OK.
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    setTabOrder(cmdOK, picIcon);
    cmdOK->setFocus();

    Form_Load();
}

QString frmAbout::VersionText(int major, int minor, int, int revision) {
    return QString("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

void frmAbout::Form_Load() {
    const QString title = QString::fromLatin1(korvid::kAppTitle);
    setWindowTitle("About " + title);
    findChild<QLabel*>("lblVersion")
        ->setText(VersionText(korvid::kVersionMajor, korvid::kVersionMinor, korvid::kVersionPatch,
                              korvid::kVersionRevision));
    findChild<QLabel*>("lblTitle")->setText(title);
    findChild<QLabel*>("lblDescription")
        ->setText(" Author: the Korvid Halvane developers. Not all of the code is their own: "
                  "some routines were taken from public-domain items, and our thanks go to "
                  "the project's processor, load-sampling and network contributors.");
    findChild<QLabel*>("lblDisclaimer")
        ->setText("Warning: USE AT YOUR OWN RISK!  This software is provided 'as-is', without "
                  "any express or implied warranty.  In no event will the authors be held "
                  "liable for any damages arising from the use of this software.");
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // The etched rule above the bottom area: a grey line over a white one.
    QPainter p(this);
    const qreal dx = logicalDpiX();
    const qreal dy = logicalDpiY();
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(TwipsToPixels(105, dx), TwipsToPixels(2460, dy), TwipsToPixels(5654, dx),
               TwipsToPixels(2460, dy));
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawLine(TwipsToPixels(90, dx), TwipsToPixels(2445, dy), TwipsToPixels(5654, dx),
               TwipsToPixels(2445, dy));
}
