// The main window's controls, laid out in twips as the form was drawn.
#include "frmMonitor.h"
#include "icons.h"
#include "twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>

namespace {

// Rows as tall as a line of the list's font, as the form's list boxes have
// them, whatever padding the style adds (Windows' adds two pixels, and the
// nine parameter rows would no longer fit their lists).
class LineRows : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(option.fontMetrics.height());
        return size;
    }
};

} // namespace

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
        // Long rows are clipped, as these lists always were, rather than
        // scrolled sideways (a sideways bar in the short lists would hide
        // their last row).
        widget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget->setTextElideMode(Qt::ElideNone);
        widget->setItemDelegate(new LineRows(widget));
        widget->setUniformItemSizes(true);
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
