#include "GUI/Activity/Activity.h"

#include "Core/Common/Clock.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTextCharFormat>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <exception>

namespace {

const QColor highlightColour(166, 202, 240);
constexpr int margin = 10;
constexpr int hourRows = 24;

QDate ToQDate(TDateTime value) {
    const TDateTimeParts parts = DecodeDateTime(value);
    return {parts.Year, parts.Month, parts.Day};
}

TDateTime FromQDate(QDate date) {
    return EncodeDate(date.year(), date.month(), date.day());
}

QLabel* AddValueRow(QGridLayout* grid, int row, const char* titleName, const char* title, const char* valueName,
                    const QString& value) {
    auto* titleLabel = new QLabel(QString::fromUtf8(title));
    titleLabel->setObjectName(QString::fromLatin1(titleName));
    auto* valueLabel = new QLabel(value);
    valueLabel->setObjectName(QString::fromLatin1(valueName));
    QFont bold = valueLabel->font();
    bold.setBold(true);
    valueLabel->setFont(bold);
    valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(titleLabel, row, 0);
    grid->addWidget(valueLabel, row, 1);
    return valueLabel;
}

// Draws the hour grid: the hour names in the fixed first column, the hours of activity in the second.
class THoursDelegate final : public QStyledItemDelegate {
public:
    THoursDelegate(const std::array<bool, 24>& hours, QObject* parent) : QStyledItemDelegate(parent), hours_(hours) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int hour = index.row();
        if (index.column() == 0) {
            painter->fillRect(option.rect, option.palette.button());
            painter->setPen(option.palette.buttonText().color());
            painter->drawText(option.rect, Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("%1:00").arg(hour));
        } else if (hour >= 0 && hour < hourRows && hours_[static_cast<size_t>(hour)]) {
            painter->fillRect(option.rect.adjusted(1, 1, -1, -1), highlightColour);
        }
    }

private:
    const std::array<bool, 24>& hours_;
};

} // namespace

TActivityCalendar::TActivityCalendar(const THWAddr& hwAddr, QWidget* parent)
    : QCalendarWidget(parent), hwAddr_(hwAddr), today_(ToQDate(Now())) {
    setObjectName(QStringLiteral("Calendar"));
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setGridVisible(true); // keeps neighbouring days of activity apart
    // Weekends in the ordinary colours: the only coloured days are those of activity.
    for (Qt::DayOfWeek day : {Qt::Saturday, Qt::Sunday})
        setWeekdayTextFormat(day, QTextCharFormat());
    QTextCharFormat todayLook;
    todayLook.setFontWeight(QFont::Bold);
    todayLook.setFontUnderline(true);
    setDateTextFormat(today_, todayLook);
    setSelectedDate(today_);
}

bool TActivityCalendar::IsPlainDay(QDate date) const {
    return date != selectedDate() && date != today_ && date.month() == monthShown() && date.year() == yearShown();
}

bool TActivityCalendar::IsHighlighted(QDate date) const {
    if (!IsPlainDay(date))
        return false;
    try {
        TConfigStore& store = ConfigStore();
        TSQLiteLock guard(store);
        return store.DayHasActivity(hwAddr_, FromQDate(date));
    } catch (const std::exception&) {
        return false; // a paint cannot report an error; the day simply stays plain
    }
}

// A plain day has nothing of the calendar's own look to keep but its number, and the calendar's painting
// would cover a background laid beneath it.
void TActivityCalendar::paintCell(QPainter* painter, const QRect& rect, QDate date) const {
    if (!IsHighlighted(date)) {
        QCalendarWidget::paintCell(painter, rect, date);
        return;
    }
    painter->save();
    painter->fillRect(rect, highlightColour);
    painter->setPen(palette().color(QPalette::Text));
    painter->drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, QString::number(date.day()));
    painter->restore();
}

TfmActivity::TfmActivity(const THWAddr& hwAddr, const QString& hwAddrText, const QString& vendorText)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      hwAddr_(hwAddr) {
    setObjectName(QStringLiteral("fmActivity"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Activity"));
    CreateControls(hwAddrText, vendorText);
    resize(DesignWidth, DesignHeight);
    setMinimumSize(width() / 2, height() / 2);
    connect(calendar_, &QCalendarWidget::selectionChanged, this, &TfmActivity::LoadHours);
}

TfmActivity* TfmActivity::ShowActivity(const THWAddr& hwAddr, const QString& hwAddrText, const QString& vendorText) {
    auto* window = new TfmActivity(hwAddr, hwAddrText, vendorText);
    // A modal dialog blocks every window but its own transients; the window stays when the dialog goes.
    if (const QWidget* modal = QApplication::activeModalWidget()) {
        window->winId();
        window->windowHandle()->setTransientParent(modal->window()->windowHandle());
    }
    window->show();
    return window;
}

void TfmActivity::CreateControls(const QString& hwAddrText, const QString& vendorText) {
    auto* body = new QVBoxLayout(this);
    body->setContentsMargins(margin, margin, margin, margin);
    body->setSpacing(margin);

    gbProperties_ = new QGroupBox(QStringLiteral("Device Information"), this);
    gbProperties_->setObjectName(QStringLiteral("gbProperties"));
    auto* grid = new QGridLayout(gbProperties_);
    AddValueRow(grid, 0, "lbMacAddress", "MAC address", "lbMacAddressValue", hwAddrText);
    AddValueRow(grid, 1, "lbVendor", "Vendor", "lbVendorValue", vendorText);
    body->addWidget(gbProperties_);

    pnInfo_ = new QFrame(this);
    pnInfo_->setObjectName(QStringLiteral("pnInfo"));
    pnInfo_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* info = new QHBoxLayout(pnInfo_);
    info->setContentsMargins(margin, margin, margin, margin);
    info->setSpacing(margin);
    calendar_ = new TActivityCalendar(hwAddr_, pnInfo_);
    info->addWidget(calendar_);

    dgHours_ = new QTableWidget(hourRows, 2, pnInfo_);
    dgHours_->setObjectName(QStringLiteral("dgHours"));
    dgHours_->horizontalHeader()->hide();
    dgHours_->verticalHeader()->hide();
    dgHours_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    dgHours_->setSelectionMode(QAbstractItemView::NoSelection);
    dgHours_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dgHours_->setFocusPolicy(Qt::NoFocus);
    dgHours_->setItemDelegate(new THoursDelegate(hours_, dgHours_));
    dgHours_->viewport()->installEventFilter(this);
    info->addWidget(dgHours_, 1);
    body->addWidget(pnInfo_, 1);
}

bool TfmActivity::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dgHours_->viewport() && event->type() == QEvent::Resize)
        LayoutGrid();
    return QWidget::eventFilter(watched, event);
}

void TfmActivity::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    PlaceFromSettings();
    LoadHours();
}

void TfmActivity::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    calendar_->setFixedWidth(width() / 2);
}

void TfmActivity::closeEvent(QCloseEvent* event) {
    try {
        TConfigStore& store = ConfigStore();
        TSQLiteLock guard(store);
        store.WriteConfig("ActivityWindowWidth", width());
        store.WriteConfig("ActivityWindowHeight", height());
    } catch (const std::exception& error) {
        // The window closes all the same; only its size is not kept.
        TUserDialogs::ShowMessage(this, TMessageKind::Error, QString::fromUtf8(error.what()));
    }
    QWidget::closeEvent(event);
}

void TfmActivity::PlaceFromSettings() {
    int storedWidth = width();
    int storedHeight = height();
    try {
        TConfigStore& store = ConfigStore();
        TSQLiteLock guard(store);
        storedWidth = store.ReadConfig("ActivityWindowWidth", storedWidth);
        storedHeight = store.ReadConfig("ActivityWindowHeight", storedHeight);
    } catch (const std::exception& error) {
        TUserDialogs::ShowMessage(this, TMessageKind::Error, QString::fromUtf8(error.what()));
    }
    resize(storedWidth, storedHeight);
    const QRect screenArea = (screen() != nullptr ? screen() : QGuiApplication::primaryScreen())->geometry();
    move(screenArea.left() + screenArea.width() / 2 - width() / 2,
         screenArea.top() + screenArea.height() / 2 - height() / 2);
}

void TfmActivity::LayoutGrid() {
    const QWidget* area = dgHours_->viewport();
    const int lineHeight = dgHours_->fontMetrics().height();
    const int rowHeight = std::max(area->height() / hourRows, lineHeight);
    // The pixels that the division leaves over go one each to the first rows, so the rows end with the grid.
    const int spare = area->height() / hourRows >= lineHeight ? area->height() % hourRows : 0;
    dgHours_->verticalHeader()->setMinimumSectionSize(lineHeight);
    for (int row = 0; row < hourRows; ++row)
        dgHours_->setRowHeight(row, rowHeight + (row < spare ? 1 : 0));
    for (int column = 0; column < 2; ++column)
        dgHours_->setColumnWidth(column, area->width() / 2);
}

void TfmActivity::LoadHours() {
    try {
        TConfigStore& store = ConfigStore();
        TSQLiteLock guard(store);
        hours_ = store.ReadActivityHours(hwAddr_, FromQDate(calendar_->selectedDate()));
    } catch (const std::exception& error) {
        hours_ = {};
        TUserDialogs::ShowMessage(this, TMessageKind::Error, QString::fromUtf8(error.what()));
    }
    dgHours_->viewport()->update();
}
