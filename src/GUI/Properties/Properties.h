#pragma once
#include "Core/Net/HWAddr.h"
#include "GUI/BaseDialog/BaseDialog.h"

#include <QString>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The texts of a main-list row that the dialog shows.
struct TPropertiesRow {
    QString IPAddress;
    QString MACAddress; // as displayed, in the current MAC format
    QString HostName;
    QString Vendor;
};

// Where the user writes a comment about one device and marks it known. The dialog only shows what the
// caller puts in; the caller reads the check box and the comment back after OK and stores them. Closing
// by the title bar cancels.
class TfmProperties final : public TfmBaseDialog {
    Q_OBJECT

public:
    explicit TfmProperties(QWidget* owner);

    // The main window's Properties action for one row: shows the device's record, and after OK stores the
    // known mark and the comment (the record changes only once its row is saved). True after OK; the caller
    // then takes the row's icon and Info text from DeviceList().
    static bool Execute(QWidget* owner, const THWAddr& hwAddr, const TPropertiesRow& row);

    // The device the Activity button opens its window for.
    void SetDevice(const THWAddr& hwAddr, const QString& hwAddrText, const QString& vendor);
    // The three lines of the information group; the titles keep their design captions unless set.
    void SetTitles(const std::array<QString, 3>& titles);
    void SetValues(const std::array<QString, 3>& values);

    bool Known() const;
    void SetKnown(bool known);
    QString Comment() const;
    void SetComment(const QString& comment);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void btActivityClick();

    THWAddr hwAddr_{};
    QString hwAddrText_;
    QString vendor_;
    std::array<QLabel*, 3> titles_{};
    std::array<QLabel*, 3> values_{};
    QPlainTextEdit* mmComment_ = nullptr;
    QCheckBox* cbKnownDevice_ = nullptr;
    QPushButton* btActivity_ = nullptr;
    QPushButton* btOK_ = nullptr;
};
