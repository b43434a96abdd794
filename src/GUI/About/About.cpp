#include "GUI/About/About.h"

#include "GUI/App/Icons.h"
#include "GUI/App/Product.h"
#include "GUI/App/Translation.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int iconSize = 64;

QLabel* AddLabel(QVBoxLayout& column, const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    column.addWidget(label);
    return label;
}

} // namespace

TfmAbout::TfmAbout(QWidget* owner) : TfmBaseDialog(owner) {
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(TrFormat("About %s", {ProductTitle}));

    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("imgProduct"));
    icon->setPixmap(ProgramIcon().pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* text = new QVBoxLayout;
    QLabel* product = AddLabel(*text, "lbProduct", QString::fromUtf8(ProductTitle));
    QFont large = product->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.5);
    product->setFont(large);
    AddLabel(*text, "lbVersion", TrFormat("Version %s", {ProductVersion}));
    AddLabel(*text, "lbLegal",
             QStringLiteral("Copyright \u00A9 Pembrid. Provided as is, without warranty of any kind.\n"
                            "Icons from the Tango Desktop Project, in the public domain."));
    text->addStretch();

    auto* body = new QHBoxLayout;
    body->setSpacing(2 * BorderWidth);
    body->addWidget(icon);
    body->addLayout(text);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* form = new QVBoxLayout(this);
    form->addLayout(body);
    form->addWidget(buttons);
}
