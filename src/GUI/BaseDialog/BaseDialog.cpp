#include "GUI/BaseDialog/BaseDialog.h"

#include <QEvent>
#include <QLayout>
#include <QShowEvent>

TfmBaseDialog::TfmBaseDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {}

// Polish comes once, before the first showing and after the derived form has built its layout.
bool TfmBaseDialog::event(QEvent* event) {
    if (event->type() == QEvent::Polish) {
        if (QLayout* body = layout()) {
            body->setContentsMargins(BorderWidth, BorderWidth, BorderWidth, BorderWidth);
            body->setSizeConstraint(QLayout::SetFixedSize);
        } else {
            setFixedSize(size());
        }
    }
    return QDialog::event(event);
}

void TfmBaseDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QWidget* owner = parentWidget();
    if (event->spontaneous() || owner == nullptr || !owner->isVisible())
        return;
    const QRect frame = frameGeometry();
    move(owner->window()->frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}
