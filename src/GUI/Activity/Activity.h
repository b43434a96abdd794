#pragma once
#include "Core/Net/HWAddr.h"

#include <QCalendarWidget>
#include <QWidget>

#include <array>

class QFrame;
class QGroupBox;
class QLabel;
class QTableWidget;

// The month calendar of the activity window: every plain day cell (neither today, nor the selected day,
// nor a day of a neighbouring month) on which the device has activity is painted in the highlight colour.
// Asked afresh at every paint, so days recorded after the window opened show too.
class TActivityCalendar final : public QCalendarWidget {
public:
    TActivityCalendar(const THWAddr& hwAddr, QWidget* parent);

    // The decision behind a cell's highlight.
    bool IsHighlighted(QDate date) const;
    QDate Today() const { return today_; }

protected:
    void paintCell(QPainter* painter, const QRect& rect, QDate date) const override;

private:
    bool IsPlainDay(QDate date) const;

    THWAddr hwAddr_;
    QDate today_;
};

// When one device was seen: the calendar with its days of activity and, beside it, the 24 hours of the
// selected day. Modeless; any number may be open, each destroyed when closed. The size is shared by all
// activity windows through ActivityWindowWidth and ActivityWindowHeight.
class TfmActivity final : public QWidget {
    Q_OBJECT

public:
    static constexpr int DesignWidth = 518;
    static constexpr int DesignHeight = 555;

    TfmActivity(const THWAddr& hwAddr, const QString& hwAddrText, const QString& vendorText);

    // Opens a new window for the device: the texts as the caller shows them (the address in the current MAC
    // format). Usable also while a modal dialog is open, and it outlives that dialog.
    static TfmActivity* ShowActivity(const THWAddr& hwAddr, const QString& hwAddrText, const QString& vendorText);

    const THWAddr& HWAddr() const { return hwAddr_; }
    TActivityCalendar* Calendar() const { return calendar_; }
    // Index = hour of the selected day; true where the device was seen.
    const std::array<bool, 24>& Hours() const { return hours_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls(const QString& hwAddrText, const QString& vendorText);
    void PlaceFromSettings();
    void LayoutGrid();
    void LoadHours();

    THWAddr hwAddr_;
    std::array<bool, 24> hours_{};
    QGroupBox* gbProperties_ = nullptr;
    QFrame* pnInfo_ = nullptr;
    TActivityCalendar* calendar_ = nullptr;
    QTableWidget* dgHours_ = nullptr;
};
