#include "GUI/Properties/Properties.h"

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/DeviceList/DeviceRows.h"
#include "GUI/Activity/Activity.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int margin = 10;
constexpr int buttonWidth = 100;
// The designed client area is 400 x 373; the groups take what the buttons leave.
constexpr int groupWidth = 400 - 2 * margin;
constexpr int commentHeight = 147;

struct TInfoLine {
    const char* TitleName;
    const char* Title;
    const char* ValueName;
};

constexpr std::array<TInfoLine, 3> infoLines{{
    {"lbIPTitle", "IP address", "lbIPValue"},
    {"lbMACTitle", "MAC address", "lbMACValue"},
    {"lbHostNameTitle", "Host name", "lbHostNameValue"},
}};

QPushButton* NewButton(const char* name, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumWidth(buttonWidth);
    return button;
}

} // namespace

TfmProperties::TfmProperties(QWidget* owner) : TfmBaseDialog(owner) {
    setObjectName(QStringLiteral("fmProperties"));
    setWindowTitle(QStringLiteral("Properties"));
    CreateControls();
}

void TfmProperties::CreateControls() {
    auto* body = new QVBoxLayout(this);
    body->setSpacing(margin);

    auto* gbDevInfo = new QGroupBox(QStringLiteral("Device Information"), this);
    gbDevInfo->setObjectName(QStringLiteral("gbDevInfo"));
    gbDevInfo->setMinimumWidth(groupWidth);
    auto* grid = new QGridLayout(gbDevInfo);
    for (size_t i = 0; i < infoLines.size(); ++i) {
        titles_[i] = new QLabel(QString::fromUtf8(infoLines[i].Title), gbDevInfo);
        titles_[i]->setObjectName(QString::fromLatin1(infoLines[i].TitleName));
        values_[i] = new QLabel(QStringLiteral("%s"), gbDevInfo);
        values_[i]->setObjectName(QString::fromLatin1(infoLines[i].ValueName));
        QFont bold = values_[i]->font();
        bold.setBold(true);
        values_[i]->setFont(bold);
        values_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        values_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(titles_[i], static_cast<int>(i), 0);
        grid->addWidget(values_[i], static_cast<int>(i), 1);
    }
    body->addWidget(gbDevInfo);

    auto* gbComment = new QGroupBox(QStringLiteral("Your Comment"), this);
    gbComment->setObjectName(QStringLiteral("gbComment"));
    auto* comment = new QVBoxLayout(gbComment);
    comment->setContentsMargins(margin, margin, margin, margin);
    mmComment_ = new QPlainTextEdit(gbComment);
    mmComment_->setObjectName(QStringLiteral("mmComment"));
    mmComment_->setFixedHeight(commentHeight);
    mmComment_->installEventFilter(this);
    cbKnownDevice_ = new QCheckBox(QStringLiteral("I know this computer or device"), gbComment);
    cbKnownDevice_->setObjectName(QStringLiteral("cbKnownDevice"));
    comment->addWidget(mmComment_, 1);
    comment->addWidget(cbKnownDevice_);
    body->addWidget(gbComment, 1);

    auto* buttons = new QHBoxLayout;
    btActivity_ = NewButton("btActivity", "Activity", this);
    btOK_ = NewButton("btOK", "OK", this);
    btOK_->setDefault(true);
    buttons->addWidget(btActivity_);
    buttons->addStretch(1);
    buttons->addWidget(btOK_);
    body->addLayout(buttons);

    connect(btActivity_, &QPushButton::clicked, this, &TfmProperties::btActivityClick);
    connect(btOK_, &QPushButton::clicked, this, &QDialog::accept);
    mmComment_->setFocus();
}

bool TfmProperties::Execute(QWidget* owner, const THWAddr& hwAddr, const TPropertiesRow& row) {
    TfmProperties dialog(owner);
    dialog.SetDevice(hwAddr, row.MACAddress, row.Vendor);
    dialog.SetValues({row.IPAddress, row.MACAddress, row.HostName});
    const TDeviceItem& record = DeviceList().FindOrAdd(hwAddr);
    dialog.SetKnown(record.Known);
    dialog.SetComment(QString::fromStdString(record.Comment));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const bool known = dialog.Known();
    const std::string comment = dialog.Comment().toStdString();
    ChangeDevice(DeviceList(), ConfigStore(), hwAddr, [&](TDeviceItem& device) {
        device.Known = known;
        device.Comment = comment;
    });
    return true;
}

void TfmProperties::SetDevice(const THWAddr& hwAddr, const QString& hwAddrText, const QString& vendor) {
    hwAddr_ = hwAddr;
    hwAddrText_ = hwAddrText;
    vendor_ = vendor;
}

void TfmProperties::SetTitles(const std::array<QString, 3>& titles) {
    for (size_t i = 0; i < titles.size(); ++i)
        titles_[i]->setText(titles[i]);
}

void TfmProperties::SetValues(const std::array<QString, 3>& values) {
    for (size_t i = 0; i < values.size(); ++i)
        values_[i]->setText(values[i]);
}

bool TfmProperties::Known() const {
    return cbKnownDevice_->isChecked();
}

void TfmProperties::SetKnown(bool known) {
    cbKnownDevice_->setChecked(known);
}

QString TfmProperties::Comment() const {
    return mmComment_->toPlainText();
}

void TfmProperties::SetComment(const QString& comment) {
    mmComment_->setPlainText(comment);
}

// Enter does not start a new line in the comment; pasted line breaks stay as they are.
bool TfmProperties::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mmComment_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return TfmBaseDialog::eventFilter(watched, event);
}

void TfmProperties::btActivityClick() {
    TfmActivity::ShowActivity(hwAddr_, hwAddrText_, vendor_);
}
