#include "GUI/Settings/SettingsControls.h"

#include "GUI/App/UserDialogs.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

TCheckGroup::TCheckGroup(const char* name, const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent) {
    setObjectName(QString::fromLatin1(name));
    auto* column = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* item = new QCheckBox(items[i], this);
        item->setObjectName(objectName() + QStringLiteral("Item") + QString::number(i));
        connect(item, &QCheckBox::clicked, this, [this, i] { emit ItemClick(i); });
        column->addWidget(item);
        items_.push_back(item);
    }
}

bool TCheckGroup::Checked(int index) const {
    return Item(index)->isChecked();
}

void TCheckGroup::SetChecked(int index, bool checked) {
    Item(index)->setChecked(checked);
}

TFileNameEdit::TFileNameEdit(const char* name, QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)) {
    setObjectName(QString::fromLatin1(name));
    edit_->setObjectName(objectName() + QStringLiteral("Edit"));
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(objectName() + QStringLiteral("Browse"));
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) * 2);
    connect(browse, &QPushButton::clicked, this, &TFileNameEdit::Browse);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(edit_);
    row->addWidget(browse);
}

QString TFileNameEdit::FileName() const {
    return edit_->text();
}

void TFileNameEdit::SetFileName(const QString& fileName) {
    edit_->setText(fileName);
}

void TFileNameEdit::SetFilter(const QString& filterName, const QString& pattern) {
    filterName_ = filterName;
    pattern_ = pattern;
}

void TFileNameEdit::Browse() {
    // Without a file type every file is offered.
    const bool anyFile = filterName_.isEmpty();
    const QString chosen = TUserDialogs::GetOpenFileName(window(), anyFile ? QStringLiteral("*") : filterName_,
                                                         anyFile ? QStringLiteral("*") : pattern_);
    if (!chosen.isEmpty())
        SetFileName(chosen);
}

TLinkLabel::TLinkLabel(const char* name, const QString& text, QWidget* parent) : QLabel(text, parent) {
    setObjectName(QString::fromLatin1(name));
    QFont linkFont = font();
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    setFont(linkFont);
    QPalette navy = palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    setPalette(navy);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked();
}
