#include "GUI/PartialEdit/PartialEdit.h"

#include "Core/Common/Text.h"
#include "Core/PartialMatch/PartialMatch.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int margin = 10;
constexpr int buttonSpacing = 15;
// The designed client area is 348 x 278.
constexpr int groupWidth = 348 - 2 * margin;

QLineEdit* AddLabelledEdit(QVBoxLayout* layout, const char* name, const char* label, QWidget* parent) {
    auto* caption = new QLabel(QString::fromUtf8(label), parent);
    caption->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    caption->setWordWrap(true);
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    caption->setBuddy(edit);
    layout->addWidget(caption);
    layout->addWidget(edit);
    return edit;
}

} // namespace

TfmPartialInput::TfmPartialInput(QWidget* owner) : TfmBaseDialog(owner) {
    setObjectName(QStringLiteral("fmPartialInput"));
    setWindowTitle(QStringLiteral("Partial Match"));
    CreateControls();
}

void TfmPartialInput::CreateControls() {
    auto* body = new QVBoxLayout(this);
    body->setSpacing(margin);

    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("gbPartialInput"));
    group->setMinimumWidth(groupWidth);
    auto* edits = new QVBoxLayout(group);
    edits->setSpacing(margin / 2);
    leHWPart_ =
        AddLabelledEdit(edits, "leHWPart", "Automatically approve devices whose MAC address starts with", group);
    leHWPart_->setMaxLength(MaxPrefixLength);
    edits->addSpacing(margin);
    leComment_ = AddLabelledEdit(edits, "leComment", "Your Comment", group);
    edits->addStretch(1);
    body->addWidget(group, 1);

    auto* panel = new QDialogButtonBox(this);
    panel->setObjectName(QStringLiteral("bpOkCancel"));
    QPushButton* ok = panel->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btOK"));
    ok->setDefault(true);
    QPushButton* cancel = panel->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btCancel"));
    if (panel->layout() != nullptr)
        panel->layout()->setSpacing(buttonSpacing);
    body->addWidget(panel);

    connect(ok, &QPushButton::clicked, this, &TfmPartialInput::btOKClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TfmPartialInput::PrefixText() const {
    return leHWPart_->text();
}

QString TfmPartialInput::CommentText() const {
    return leComment_->text();
}

void TfmPartialInput::btOKClick() {
    const bool prefixOk = IsValidPrefixText(PrefixText().toStdString());
    const bool commentOk = !Trim(CommentText().toStdString()).empty();
    if (prefixOk && commentOk) {
        accept();
        return;
    }
    TUserDialogs::ShowMessage(this, TMessageKind::Information,
                              Tr("Three octets of a MAC address and a comment are required"));
}
