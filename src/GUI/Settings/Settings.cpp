#include "GUI/Settings/Settings.h"

#include "Core/Common/Exception.h"
#include "Core/Common/Text.h"
#include "Core/Install/Autostart.h"
#include "Core/Mail/MailSender.h"
#include "Core/Net/IPv4.h"
#include "Core/Net/IPv4Range.h"
#include "Core/PartialMatch/PartialMatch.h"
#include "Core/Settings/Settings.h"
#include "GUI/App/Product.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/PartialEdit/PartialEdit.h"
#include "GUI/Settings/SettingsControls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int clientWidth = 500;
constexpr int clientHeight = 571;
constexpr int okButtonMinWidth = 75;
constexpr int rescanFreqMax = 60;
constexpr int rescanFreqStep = 5;
constexpr int rescanFreqPage = 10;
constexpr int tlsHintGap = 10;
constexpr int captionGap = 2; // between a caption and the control it names

// Behaviour items and the scanning option, by index.
enum { biMinToTray = 0, biAutostart = 1, biAutoUpdate = 2 };
enum { soPageTitle = 0 };
enum { ctTls = 2 };
constexpr int connectionTypeCount = 3;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string S(const QString& text) {
    return text.toStdString();
}

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QGroupBox* AddGroup(QVBoxLayout& page, const char* name, const char* title) {
    auto* group = Named(new QGroupBox(Tr(title)), name);
    new QVBoxLayout(group);
    page.addWidget(group);
    return group;
}

QVBoxLayout* ColumnOf(QWidget* group) {
    return static_cast<QVBoxLayout*>(group->layout());
}

QSlider* AddTrackBar(QVBoxLayout& column, const char* name, int minimum, int maximum) {
    auto* bar = Named(new QSlider(Qt::Horizontal), name);
    bar->setRange(minimum, maximum);
    bar->setTickPosition(QSlider::TicksBelow);
    column.addWidget(bar);
    return bar;
}

// A labelled edit: its caption above it.
QLineEdit* AddLabelledEdit(QVBoxLayout& column, const char* name, const char* caption) {
    auto* edit = Named(new QLineEdit, name);
    auto* label = new QLabel(Tr(caption));
    label->setObjectName(edit->objectName() + QStringLiteral("Label"));
    label->setBuddy(edit);
    auto* pair = new QVBoxLayout;
    pair->setSpacing(captionGap);
    pair->addWidget(label);
    pair->addWidget(edit);
    column.addLayout(pair);
    return edit;
}

// The busy cursor for as long as the guard lives, also when an error passes through.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

bool AskWithPartialDialog(QWidget* owner, QString& prefix, QString& comment) {
    TfmPartialInput dialog(owner);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    prefix = dialog.PrefixText();
    comment = dialog.CommentText();
    return true;
}

} // namespace

TfmSettings::TfmSettings(QWidget* owner, TSettingsContext context)
    : TfmBaseDialog(owner), context_(std::move(context)) {
    if (context_.Probes == nullptr)
        context_.Probes = &PlatformProbeFactory();
    if (!context_.SendEmail)
        context_.SendEmail = &SendEmailAlert;
    if (!context_.SecureMailAvailable)
        context_.SecureMailAvailable = &SecureMailAvailable;
    if (!context_.Autostart)
        context_.Autostart = PlatformAutostart(S(QCoreApplication::applicationFilePath()));
    if (!context_.AskPartialRule)
        context_.AskPartialRule = &AskWithPartialDialog;

    setObjectName(QStringLiteral("fmSettings"));
    setWindowTitle(Tr("Settings"));

    pcSettings_ = Named(new QTabWidget, "pcSettings");
    CreateBasicPage();
    CreateAdvancedPage();
    CreateEmailPage();
    pcSettings_->setCurrentIndex(0);

    btOK_ = Named(new QPushButton(Tr("OK")), "btOK");
    btOK_->setMinimumWidth(okButtonMinWidth);
    btOK_->setDefault(true);
    connect(btOK_, &QPushButton::clicked, this, &TfmSettings::btOKClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK_);
    auto* form = new QVBoxLayout(this);
    form->addWidget(pcSettings_);
    form->addLayout(buttons);
    // The page control takes what the designed client area leaves beside the border and the button row.
    pcSettings_->setFixedSize(clientWidth - 2 * BorderWidth,
                              clientHeight - 2 * BorderWidth - form->spacing() - btOK_->sizeHint().height());

    FormCreate();
}

TfmSettings::~TfmSettings() = default;

void TfmSettings::CreateBasicPage() {
    auto* page = Named(new QWidget, "tsBasic");
    auto* column = new QVBoxLayout(page);

    QGroupBox* adapter = AddGroup(*column, "gbNetAdapter", "Network adapter");
    cmbIfList_ = Named(new QComboBox, "cmbIfList");
    ColumnOf(adapter)->addWidget(cmbIfList_);

    QVBoxLayout* scan = ColumnOf(AddGroup(*column, "gbScanSettings", "Scanning options"));
    lbMaxThreads_ = Named(new QLabel, "lbMaxThreads");
    scan->addWidget(lbMaxThreads_);
    tbMaxThreads_ = AddTrackBar(*scan, "tbMaxThreads", MinThreads, MaxThreads);
    lbRescanFreq_ = Named(new QLabel, "lbRescanFreq");
    scan->addWidget(lbRescanFreq_);
    tbRescanFreq_ = AddTrackBar(*scan, "tbRescanFreq", 0, rescanFreqMax);
    tbRescanFreq_->setTickInterval(rescanFreqStep);
    tbRescanFreq_->setSingleStep(rescanFreqStep);
    tbRescanFreq_->setPageStep(rescanFreqPage);
    connect(tbMaxThreads_, &QSlider::valueChanged, this, &TfmSettings::UpdateTrackBarLabels);
    connect(tbRescanFreq_, &QSlider::valueChanged, this, &TfmSettings::UpdateTrackBarLabels);

    cgBehaviour_ = new TCheckGroup("cgBehaviour", Tr("UI behaviour"),
                                   {Tr("When minimised show %s"), Tr("Start automatically with the operating system"),
                                    Tr("Automatically check for new versions")});
    connect(cgBehaviour_, &TCheckGroup::ItemClick, this, &TfmSettings::UpdateEmailControls);
    column->addWidget(cgBehaviour_);
    column->addStretch();
    pcSettings_->addTab(page, Tr("Basic"));
}

void TfmSettings::CreateAdvancedPage() {
    auto* page = Named(new QWidget, "tsAdvanced");
    auto* column = new QVBoxLayout(page);

    edCustomRange_ = Named(new QLineEdit, "edCustomRange");
    ColumnOf(AddGroup(*column, "gbCustomRange", "Custom IP address range (e.g. 10.0.0.1 - 10.0.0.100)"))
        ->addWidget(edCustomRange_);
    fePlaySound_ = new TFileNameEdit("fePlaySound");
    ColumnOf(AddGroup(*column, "gbPlaySound", "Play sound on detection"))->addWidget(fePlaySound_);
    feExecCommand_ = new TFileNameEdit("feExecCommand");
    ColumnOf(AddGroup(*column, "gbExecFile", "Execute command on detection"))->addWidget(feExecCommand_);
    cgScanningOptions_ = new TCheckGroup("cgScanningOptions", Tr("Scanning options"),
                                         {Tr("Get web-page title from HTTP enabled devices")});
    column->addWidget(cgScanningOptions_);

    QVBoxLayout* partial = ColumnOf(AddGroup(*column, "gbPartialMatch", "Partial match"));
    lbPartialMatch_ = Named(new QListWidget, "lbPartialMatch");
    lbPartialMatch_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Lines run down the first column and wrap into the next.
    lbPartialMatch_->setFlow(QListView::TopToBottom);
    lbPartialMatch_->setWrapping(true);
    lbPartialMatch_->setResizeMode(QListView::Adjust);
    connect(lbPartialMatch_, &QListWidget::itemSelectionChanged, this, &TfmSettings::UpdateActions);
    partial->addWidget(lbPartialMatch_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(
        CreateActionButton(acAddPartial_, "acAddPartial", "btAdd", "Add...", &TfmSettings::acAddPartialExecute));
    buttons->addWidget(
        CreateActionButton(acDelPartial_, "acDelPartial", "btDelete", "Delete", &TfmSettings::acDelPartialExecute));
    buttons->addStretch();
    partial->addLayout(buttons);
    pcSettings_->addTab(page, Tr("Advanced"));
}

void TfmSettings::CreateEmailPage() {
    auto* page = Named(new QWidget, "tsEmail");
    auto* column = new QVBoxLayout(page);
    gbEmail_ = AddGroup(*column, "gbEmail", "E-mail");
    QVBoxLayout* email = ColumnOf(gbEmail_);

    cbEnableEmail_ = Named(new QCheckBox(Tr("Send an e-mail when unknown devices are detected")), "cbEnableEmail");
    connect(cbEnableEmail_, &QCheckBox::clicked, this, &TfmSettings::UpdateEmailControls);
    connect(cbEnableEmail_, &QCheckBox::toggled, this, &TfmSettings::UpdateActions);
    email->addWidget(cbEnableEmail_);
    leMailServer_ = AddLabelledEdit(*email, "leMailServer", "SMTP server");
    leRecipients_ = AddLabelledEdit(*email, "leRecipients", "To");
    leUserName_ = AddLabelledEdit(*email, "leUserName", "User name");
    lePassword_ = AddLabelledEdit(*email, "lePassword", "Password");
    lePassword_->setEchoMode(QLineEdit::Password);
    lePassword_->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    for (QLineEdit* edit : {leMailServer_, leRecipients_})
        connect(edit, &QLineEdit::textChanged, this, &TfmSettings::UpdateActions);

    connectionBox_ = new QVBoxLayout;
    connectionBox_->setSpacing(captionGap);
    lbConnection_ = Named(new QLabel(Tr("Connection")), "lbConnection");
    cmbConnType_ = Named(new QComboBox, "cmbConnType");
    cmbConnType_->addItems(
        {Tr("Regular"), Tr("Secure to regular port (STARTTLS)"), Tr("Secure to dedicated port (TLS)")});
    lbConnection_->setBuddy(cmbConnType_);
    connect(cmbConnType_, &QComboBox::activated, this, &TfmSettings::cmbConnTypeChange);
    connectionBox_->addWidget(lbConnection_);
    connectionBox_->addWidget(cmbConnType_);
    email->addLayout(connectionBox_);

    auto* test = new QHBoxLayout;
    test->addStretch();
    test->addWidget(
        CreateActionButton(acTestEmail_, "acTestEmail", "btTest", "Test", &TfmSettings::acTestEmailExecute));
    email->addLayout(test);
    column->addStretch();
    pcSettings_->addTab(page, Tr("E-mail"));
}

// The button shows its action: the action's caption and enabled state, and a click triggers it.
QPushButton* TfmSettings::CreateActionButton(QAction*& action, const char* actionName, const char* buttonName,
                                             const char* caption, void (TfmSettings::*execute)()) {
    action = Named(new QAction(Tr(caption), this), actionName);
    auto* button = Named(new QPushButton(action->text()), buttonName);
    connect(action, &QAction::triggered, this, execute);
    connect(action, &QAction::changed, button, [action, button] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    return button;
}

// The enable rules, run whenever something they look at changes.
void TfmSettings::UpdateActions() {
    acTestEmail_->setEnabled(cbEnableEmail_->isChecked() && !leMailServer_->text().isEmpty() &&
                             leRecipients_->text().contains(QLatin1Char('@')));
    acDelPartial_->setEnabled(!lbPartialMatch_->selectedItems().isEmpty());
}

void TfmSettings::FormCreate() {
    cgBehaviour_->SetChecked(biAutostart, context_.Autostart->IsAutostartEnabled());
    secureMail_ = context_.SecureMailAvailable();
    cmbConnType_->setEnabled(secureMail_);
    if (!secureMail_)
        CreateTlsHint();
    FillPartialList();
    UpdateActions();
}

void TfmSettings::CreateTlsHint() {
    auto* hint = new TLinkLabel("lbTlsHint", Tr("OpenSSL libraries are required for a secure connection"), gbEmail_);
    connect(hint, &TLinkLabel::Clicked, this,
            [] { QDesktopServices::openUrl(QUrl(QString::fromUtf8(ProductWebPage))); });
    connectionBox_->addSpacing(tlsHintGap - captionGap);
    connectionBox_->addWidget(hint);
}

void TfmSettings::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        FormShow();
    TfmBaseDialog::showEvent(event);
}

void TfmSettings::FormShow() {
    FillAdapterList();
    UpdateEmailControls();
    cgBehaviour_->Item(biMinToTray)->setText(Tr(FormatText("When minimised show %s", {"in the notification area"})));
    fePlaySound_->SetFilter(Tr("Audio files"), QStringLiteral("*.wav *.mp3 *.ogg"));
    UpdateTrackBarLabels();
}

void TfmSettings::FillAdapterList() {
    ifList_.clear();
    context_.Probes->CreateInetConfig()->GetInterfaces(ifList_);
    const std::unique_ptr<TPlatformIfNameMap> names = context_.Probes->CreateIfNameMap();
    cmbIfList_->clear();
    int selected = -1;
    for (const TIfItem& adapter : ifList_) {
        cmbIfList_->addItem(Q(names->DisplayName(adapter.Name) + " (" + IPv4ToStr(SwapIPv4(adapter.Address)) + "/" +
                              IPv4ToStr(SwapIPv4(adapter.Mask)) + ")"));
        if (SameTextAscii(adapter.Name, ConfiguredIfName))
            selected = cmbIfList_->count() - 1;
    }
    cmbIfList_->setCurrentIndex(selected);
}

void TfmSettings::FillPartialList() {
    for (const THWPartItem& rule : PartialList())
        AddPartialLine(rule);
}

void TfmSettings::AddPartialLine(const THWPartItem& rule) {
    lbPartialMatch_->addItem(Q(rule.ToString() + " " + rule.Comment));
    partialRules_.push_back(&rule);
}

void TfmSettings::UpdateEmailControls() {
    const bool enabled = cbEnableEmail_->isChecked();
    for (QLineEdit* edit : {leMailServer_, leRecipients_, leUserName_, lePassword_})
        edit->setEnabled(enabled);
    lbConnection_->setEnabled(enabled && secureMail_);
    cmbConnType_->setEnabled(enabled && secureMail_);
}

void TfmSettings::UpdateTrackBarLabels() {
    lbMaxThreads_->setText(Tr("Scan this many devices simultaneously:") + QLatin1Char(' ') +
                           QString::number(tbMaxThreads_->value()));
    lbRescanFreq_->setText(Tr("Rescan the network every (minutes):") + QLatin1Char(' ') +
                           QString::number(tbRescanFreq_->value()));
}

void TfmSettings::cmbConnTypeChange(int index) {
    const QString port = index == ctTls ? QStringLiteral("465") : QStringLiteral("25");
    const QString server = leMailServer_->text();
    const qsizetype colon = server.indexOf(QLatin1Char(':'));
    leMailServer_->setText(colon >= 0 ? server.left(colon + 1) + port : server + QLatin1Char(':') + port);
}

void TfmSettings::acTestEmailExecute() {
    const std::vector<std::string> body{S(Tr("Test message from Hallwick"))};
    bool sent = false;
    try {
        TBusyCursor busy;
        sent = context_.SendEmail(body, ProductTitle, S(leRecipients_->text()), S(leMailServer_->text()),
                                  S(leUserName_->text()), S(lePassword_->text()), cmbConnType_->currentIndex());
    } catch (const std::exception& error) {
        TUserDialogs::ShowMessage(this, TMessageKind::Error, Q(error.what()));
        return;
    }
    if (sent)
        TUserDialogs::ShowMessage(this, TMessageKind::Information, Tr("E-mail sent successfully"));
    else
        TUserDialogs::ShowMessage(this, TMessageKind::Error, Tr("E-mail sending failed"));
}

void TfmSettings::acAddPartialExecute() {
    QString prefix;
    QString comment;
    if (!context_.AskPartialRule(this, prefix, comment))
        return;
    try {
        auto rule = std::make_unique<THWPartItem>(S(prefix));
        rule->Comment = S(comment);
        // Checked against the list as well as by the table's key: a row stored by other means may spell the
        // same prefix differently, and any other database failure then keeps its own message.
        const auto& rules = PartialList();
        if (std::any_of(rules.begin(), rules.end(), [&](const THWPartItem& r) { return r.Prefix == rule->Prefix; })) {
            TUserDialogs::ShowMessage(this, TMessageKind::Error, Tr("Duplicates are not allowed"));
            return;
        }
        const int position = PartialList().Add(std::move(rule));
        AddPartialLine(PartialList().Items(position));
    } catch (const std::exception& error) {
        TUserDialogs::ShowMessage(this, TMessageKind::Error, Q(error.what()));
    }
}

void TfmSettings::acDelPartialExecute() {
    try {
        for (int row = lbPartialMatch_->count() - 1; row >= 0; --row) {
            if (!lbPartialMatch_->item(row)->isSelected())
                continue;
            PartialList().Delete(*partialRules_[static_cast<size_t>(row)]);
            partialRules_.erase(partialRules_.begin() + row);
            delete lbPartialMatch_->takeItem(row);
        }
    } catch (const std::exception& error) {
        // The rules deleted so far are gone; the failing one keeps its line.
        TUserDialogs::ShowMessage(this, TMessageKind::Error, Q(error.what()));
    }
    UpdateActions();
}

QString TfmSettings::CheckFailure() const {
    if (ConfiguredIfName.empty() && cmbIfList_->currentIndex() < 0)
        return Tr("You must choose a network adapter");
    if (cbEnableEmail_->isChecked() && (leMailServer_->text().isEmpty() || leRecipients_->text().isEmpty()))
        return Tr("Please specify your SMTP server and a recipient");
    if (!edCustomRange_->text().isEmpty()) {
        try {
            ValidateCustomRanges(S(edCustomRange_->text()));
        } catch (const Exception& error) {
            return Q(error.Message());
        }
    }
    return {};
}

bool TfmSettings::ApplyAutostart() {
    try {
        context_.Autostart->SetAutostart(cgBehaviour_->Checked(biAutostart));
    } catch (const std::exception& error) {
        TUserDialogs::ShowMessage(this, TMessageKind::Error, Q(error.what()));
        return false;
    }
    // Started with the session, the program starts hidden, so it must be reachable from the tray.
    if (cgBehaviour_->Checked(biAutostart))
        cgBehaviour_->SetChecked(biMinToTray, true);
    return true;
}

void TfmSettings::btOKClick() {
    const QString failure = CheckFailure();
    if (!failure.isEmpty())
        TUserDialogs::ShowMessage(this, TMessageKind::Information, failure);
    // The autostart entry follows the box at every press, also one whose checks failed.
    const bool autostartApplied = ApplyAutostart();
    if (failure.isEmpty() && autostartApplied)
        accept();
}

int TfmSettings::ShowModal() {
    if (TUserDialogs::Unattended())
        return QDialog::Rejected;
    return exec();
}

void TfmSettings::LoadFrom(const TSettings& settings) {
    ConfiguredIfName = settings.GenIfName;
    tbMaxThreads_->setValue(settings.GenMaxThreads);
    tbRescanFreq_->setValue(settings.GenRescanFreq);
    cgBehaviour_->SetChecked(biMinToTray, settings.GenMinToTray);
    cgBehaviour_->SetChecked(biAutoUpdate, settings.AutoUpdateEnabled);
    edCustomRange_->setText(Q(settings.AdvCustRange.ToDisplayText()));
    cgScanningOptions_->SetChecked(soPageTitle, settings.AdvGetPageTitle);
    fePlaySound_->SetFileName(Q(settings.GenSoundAlert));
    feExecCommand_->SetFileName(Q(settings.GenExecCommand));
    cbEnableEmail_->setChecked(settings.AdvEnableMail);
    leMailServer_->setText(Q(settings.AdvMailServer));
    leRecipients_->setText(Q(settings.AdvRecipients));
    leUserName_->setText(Q(settings.AdvMailUserName));
    lePassword_->setText(Q(settings.AdvMailPassword));
    cmbConnType_->setCurrentIndex(settings.AdvMailConnection < connectionTypeCount ? settings.AdvMailConnection : -1);
    UpdateEmailControls();
}

void TfmSettings::SaveTo(TSettings& settings) const {
    const int adapter = cmbIfList_->currentIndex();
    if (adapter >= 0)
        settings.GenIfName = ifList_.at(static_cast<size_t>(adapter)).Name;
    settings.GenMaxThreads = tbMaxThreads_->value();
    settings.GenRescanFreq = tbRescanFreq_->value();
    settings.GenMinToTray = cgBehaviour_->Checked(biMinToTray);
    settings.AutoUpdateEnabled = cgBehaviour_->Checked(biAutoUpdate);
    if (edCustomRange_->text().isEmpty())
        settings.AdvCustRange.Clear();
    else
        settings.AdvCustRange.Parse(S(edCustomRange_->text()));
    settings.AdvGetPageTitle = cgScanningOptions_->Checked(soPageTitle);
    settings.GenSoundAlert = S(fePlaySound_->FileName());
    settings.GenExecCommand = S(feExecCommand_->FileName());
    settings.AdvEnableMail = cbEnableEmail_->isChecked();
    settings.AdvMailServer = S(leMailServer_->text());
    settings.AdvRecipients = S(leRecipients_->text());
    settings.AdvMailUserName = S(leUserName_->text());
    settings.AdvMailPassword = S(lePassword_->text());
    if (cmbConnType_->currentIndex() >= 0)
        settings.AdvMailConnection = static_cast<std::uint8_t>(cmbConnType_->currentIndex());
}
