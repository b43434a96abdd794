#include "GUI/NotifyPopup/NotifyPopup.h"

#include "GUI/App/Icons.h"
#include "GUI/App/Product.h"
#include "GUI/App/Translation.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int clientWidth = 479;
constexpr int clientHeight = 241;
constexpr int titleMargin = 10;
constexpr int buttonMargin = 12;
constexpr int buttonSpacing = 10;
constexpr int addressColumnWidth = 160;
constexpr int macColumnWidth = 220;
constexpr int unknownDeviceImage = 1;

QPushButton* AddButton(QDialogButtonBox& panel, QDialogButtonBox::StandardButton kind, const char* name,
                       const char* caption) {
    QPushButton* button = panel.addButton(kind);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(Tr(caption));
    return button;
}

} // namespace

TfmNotifyPopup::TfmNotifyPopup(QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("fmNotifyPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(ProductTitle));

    lbTitle_ = new QLabel(QStringLiteral("%s"), this);
    lbTitle_->setObjectName(QStringLiteral("lbTitle"));
    QFont bold = lbTitle_->font();
    bold.setBold(true);
    lbTitle_->setFont(bold);
    lbTitle_->setWordWrap(true);
    CreateList();
    CreateButtons();

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(0);
    auto* title = new QVBoxLayout;
    title->setContentsMargins(titleMargin, titleMargin, titleMargin, titleMargin);
    title->setSpacing(titleMargin);
    title->addWidget(lbTitle_);
    title->addWidget(lvMainView_, 1);
    auto* buttons = new QVBoxLayout;
    buttons->setContentsMargins(buttonMargin, 0, buttonMargin, buttonMargin);
    buttons->addWidget(bpOkayCancel_);
    form->addLayout(title, 1);
    form->addLayout(buttons);

    // The designed size, unless the fonts of this desktop need more.
    const QSize hint = sizeHint();
    setFixedSize(std::max(hint.width(), clientWidth), std::max(hint.height(), clientHeight));
    if (const QScreen* screen = owner != nullptr ? owner->screen() : this->screen())
        CentreOver(screen->availableGeometry());
}

void TfmNotifyPopup::CreateList() {
    lvMainView_ = new QTreeWidget(this);
    lvMainView_->setObjectName(QStringLiteral("lvMainView"));
    lvMainView_->setColumnCount(2);
    lvMainView_->setHeaderLabels({Tr("IP address"), Tr("MAC address")});
    lvMainView_->setColumnWidth(0, addressColumnWidth);
    lvMainView_->setColumnWidth(1, macColumnWidth);
    lvMainView_->setRootIsDecorated(false);
    lvMainView_->setUniformRowHeights(true);
    lvMainView_->setAllColumnsShowFocus(true);
    lvMainView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMainView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = lvMainView_->header();
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, &TfmNotifyPopup::SortByColumn);
}

void TfmNotifyPopup::CreateButtons() {
    bpOkayCancel_ = new QDialogButtonBox(this);
    bpOkayCancel_->setObjectName(QStringLiteral("bpOkayCancel"));
    bpOkayCancel_->layout()->setSpacing(buttonSpacing);
    QPushButton* ok = AddButton(*bpOkayCancel_, QDialogButtonBox::Ok, "OKButton", "OK");
    ok->setDefault(true);
    QPushButton* cancel = AddButton(*bpOkayCancel_, QDialogButtonBox::Cancel, "CancelButton", "Cancel");
    AddButton(*bpOkayCancel_, QDialogButtonBox::Help, "HelpButton", "Help");
    // Hidden only after the last button: adding a button shows every button of the panel again.
    cancel->hide();
    connect(bpOkayCancel_, &QDialogButtonBox::accepted, this, &QWidget::close);
    connect(bpOkayCancel_, &QDialogButtonBox::rejected, this, &QWidget::close);
    connect(bpOkayCancel_, &QDialogButtonBox::helpRequested, this, &TfmNotifyPopup::HelpButtonClick);
}

void TfmNotifyPopup::SetTitle(const QString& text) {
    lbTitle_->setText(text);
}

void TfmNotifyPopup::AddDevice(const QString& address, const QString& macText) {
    auto* row = new QTreeWidgetItem(lvMainView_, {address, macText});
    row->setIcon(0, DeviceImage(unknownDeviceImage));
}

void TfmNotifyPopup::CentreOver(const QRect& area) {
    // The frame is unknown until the window is shown; it grows around the client area from here.
    QRect client = geometry();
    client.moveCenter(area.center());
    setGeometry(client);
}

void TfmNotifyPopup::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit Closed();
}

void TfmNotifyPopup::HelpButtonClick() {
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(ProductWebPage)));
}

void TfmNotifyPopup::SortByColumn(int column) {
    sortOrder_ = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortColumn_ = column;
    lvMainView_->header()->setSortIndicatorShown(true);
    lvMainView_->sortItems(column, sortOrder_);
}
