#include "GUI/Update/Update.h"

#include "GUI/App/Icons.h"
#include "GUI/App/Product.h"
#include "GUI/App/Translation.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int logoSize = 48;

QLabel* NamedLabel(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

TfmUpdate::TfmUpdate(QWidget* owner, const std::string& newVersion, std::string downloadUrl)
    : TfmBaseDialog(owner), downloadUrl_(QString::fromStdString(downloadUrl)) {
    setObjectName(QStringLiteral("fmUpdate"));
    // The program's title stands in for the designed "Update found".
    setWindowTitle(QString::fromUtf8(ProductTitle));

    QLabel* logo = NamedLabel("imLogo", {});
    logo->setPixmap(ProgramIcon().pixmap(logoSize, logoSize));
    logo->setAlignment(Qt::AlignTop);

    QLabel* info = NamedLabel("lbInfo", TrFormat("New version of %s is found!", {ProductTitle}));
    QFont bold = info->font();
    bold.setBold(true);
    info->setFont(bold);

    auto* versions = new QGroupBox;
    versions->setObjectName(QStringLiteral("gbVerInfo"));
    auto* versionLines = new QVBoxLayout(versions);
    versionLines->addWidget(NamedLabel("lbCurVer", TrFormat("Your version: %s", {ProductVersion})));
    versionLines->addWidget(NamedLabel("lbNewVer", TrFormat("New version: %s", {newVersion})));

    auto* download = new QPushButton(Tr("Download Now"));
    download->setObjectName(QStringLiteral("btDownloadNow"));
    download->setDefault(true);
    connect(download, &QPushButton::clicked, this, &TfmUpdate::btDownloadNowClick);

    auto* text = new QVBoxLayout;
    text->addWidget(info);
    text->addWidget(versions);
    text->addWidget(download, 0, Qt::AlignRight);

    auto* form = new QHBoxLayout(this);
    form->setSpacing(2 * BorderWidth);
    form->addWidget(logo);
    form->addLayout(text);
}

void TfmUpdate::btDownloadNowClick() {
    QDesktopServices::openUrl(QUrl(downloadUrl_));
}

void ShowUpdate(QWidget* owner, const std::string& newVersion, const std::string& downloadUrl) {
    const QPointer<TfmUpdate> window = new TfmUpdate(owner, newVersion, downloadUrl);
    window->exec();
    delete window.data();
}
