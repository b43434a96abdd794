#include "GUI/MainView/MainWindow.h"

#include "Core/Lang/Language.h"
#include "GUI/App/Icons.h"
#include "GUI/App/Product.h"
#include "GUI/App/Translation.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <exception>
#include <string>
#include <utility>

namespace {

constexpr int toolbarImageSize = 24;
constexpr int toolbarButtonSize = 60;
constexpr int noImage = -1;

QMenu* AddMenu(QWidget* parent, const char* name, const char* caption) {
    auto* menu = new QMenu(QString::fromUtf8(caption), parent);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

} // namespace

// The designed form of an action: its texts are English and turn into the current language whenever the
// window becomes active.
struct TfmHWKMain::TActionSpec {
    QAction* TfmHWKMain::*Member;
    const char* Name;
    const char* Caption;
    const char* Hint;
    int Image;
    const char* Shortcut;
    TEnableRule Rule;
    void (TfmHWKMain::*Execute)(); // null for the MAC formats, which share one handler
};

void TfmHWKMain::CreateActions() {
    using T = TfmHWKMain;
    static const TActionSpec specs[] = {
        {&T::acScanNow_, "acScanNow", "Scan Now", "Scan network (refresh display)", 0, "", &T::acScanNowUpdate,
         &T::acScanNowExecute},
        {&T::acSettings_, "acSettings", "Settings", "Change settings", 2, "", &T::ActionEnabledWhenNotScanning,
         &T::acSettingsExecute},
        {&T::acProperties_, "acProperties", "Properties", "View device properties", 3, "Ctrl+P",
         &T::ActionEnabledWhenSelected, &T::acPropertiesExecute},
        {&T::acHelp_, "acHelp", "Help", "Help", 1, "", &T::ActionEnabledAnyTime, &T::acHelpExecute},
        {&T::acShowApp_, "acShowApp", "Show %s", "Show %s", noImage, "", &T::ActionEnabledAnyTime,
         &T::acShowAppExecute},
        {&T::acQuitApp_, "acQuitApp", "Quit", "", noImage, "", &T::ActionEnabledAnyTime, &T::acQuitAppExecute},
        {&T::acCopyLine_, "acCopyLine", "Copy", "Copy to the clipboard", noImage, "Ctrl+C",
         &T::ActionEnabledWhenSelected, &T::acCopyLineExecute},
        {&T::acSaveToFile_, "acSaveToFile", "Save...", "Save to a file", noImage, "", &T::ActionEnabledWhenNotEmpty,
         &T::acSaveToFileExecute},
        {&T::acAbout_, "acAbout", "About %s", "Show info about %s", noImage, "", &T::ActionEnabledAnyTime,
         &T::acAboutExecute},
        {&T::acMACDelimNone_, "acMACDelimNone", "AABBCCDDEEFF", "", noImage, "", &T::ActionEnabledAnyTime, nullptr},
        {&T::acMACDelimDash_, "acMACDelimDash", "AA-BB-CC-DD-EE-FF", "", noImage, "", &T::ActionEnabledAnyTime,
         nullptr},
        {&T::acMACDelimColon_, "acMACDelimColon", "AA:BB:CC:DD:EE:FF", "", noImage, "", &T::ActionEnabledAnyTime,
         nullptr},
        {&T::acDeviceManager_, "acDeviceManager", "All Devices", "See all network devices", 5, "",
         &T::ActionEnabledWhenNotScanning, &T::acDeviceManagerExecute},
        {&T::acActivity_, "acActivity", "Activity", "", noImage, "Ctrl+A", &T::ActionEnabledWhenSelected,
         &T::acActivityExecute},
    };
    for (const TActionSpec& spec : specs) {
        QAction* action = CreateAction(spec);
        this->*spec.Member = action;
        if (spec.Execute != nullptr)
            Bind(action, spec.Rule, [this, execute = spec.Execute] { (this->*execute)(); });
    }

    auto* formats = new QActionGroup(this);
    const std::pair<QAction*, char> delimiters[] = {
        {acMACDelimNone_, '\0'}, {acMACDelimDash_, '-'}, {acMACDelimColon_, ':'}};
    for (const auto& [action, delimiter] : delimiters) {
        action->setCheckable(true);
        formats->addAction(action);
        Bind(action, &T::ActionEnabledAnyTime, [this, delimiter = delimiter] { MACDelimExecute(delimiter); });
    }
}

QAction* TfmHWKMain::CreateAction(const TActionSpec& spec) {
    auto* action = new QAction(QString::fromUtf8(spec.Caption), this);
    action->setObjectName(QString::fromLatin1(spec.Name));
    if (*spec.Hint != '\0')
        action->setToolTip(QString::fromUtf8(spec.Hint));
    action->setIcon(ToolbarImage(spec.Image));
    if (*spec.Shortcut != '\0')
        action->setShortcut(QKeySequence(QString::fromLatin1(spec.Shortcut), QKeySequence::PortableText));
    // Shortcuts work in the whole window, also for actions that sit only in the context menu.
    addAction(action);
    return action;
}

void TfmHWKMain::Bind(QAction* action, TEnableRule rule, std::function<void()> execute) {
    actions_.Bind(action, [this, rule] { return (this->*rule)(); }, std::move(execute));
}

void TfmHWKMain::UpdateActions() {
    actions_.Update();
}

void TfmHWKMain::RunGuarded(const std::function<void()>& command) {
    ::RunGuarded(this, command);
}

bool TfmHWKMain::ActionEnabledAnyTime() const {
    return true;
}

bool TfmHWKMain::ActionEnabledWhenNotScanning() const {
    return !IsScanning();
}

bool TfmHWKMain::ActionEnabledWhenSelected() const {
    return SelectedRow() != nullptr;
}

bool TfmHWKMain::ActionEnabledWhenNotEmpty() const {
    return !IsScanning() && lvMainView_->topLevelItemCount() > 0;
}

void TfmHWKMain::CreateMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mmMain"));

    QMenu* file = AddMenu(bar, "mmiFile", "File");
    file->addActions({acSaveToFile_, acSettings_, acDeviceManager_});
    file->addSeparator();
    file->addAction(acQuitApp_);

    QMenu* view = AddMenu(bar, "mmiView", "View");
    QMenu* formats = AddMenu(view, "mmiMACFormat", "MAC Address Format");
    formats->addActions({acMACDelimNone_, acMACDelimColon_, acMACDelimDash_});
    view->addMenu(formats);

    QMenu* help = AddMenu(bar, "mmiHelp", "Help");
    help->addActions({acAbout_, acHelp_});
    help->addSeparator();
    mmiLanguage_ = AddMenu(help, "mmiLanguage", "Language");
    help->addMenu(mmiLanguage_);

    for (QMenu* menu : {file, view, help})
        bar->addMenu(menu);

    pmOperations_ = AddMenu(this, "pmOperations", "");
    pmiCopy_ = AddMenu(pmOperations_, "pmiCopy", "");
    acCopyLine_->setMenu(pmiCopy_);
    pmOperations_->addActions({acProperties_, acCopyLine_, acActivity_});
}

void TfmHWKMain::CreateToolBar() {
    tbMain_ = new QToolBar(this);
    tbMain_->setObjectName(QStringLiteral("tbMain"));
    tbMain_->setMovable(false);
    tbMain_->setFloatable(false);
    tbMain_->setIconSize(QSize(toolbarImageSize, toolbarImageSize));
    tbMain_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const std::pair<const char*, QAction*> buttons[] = {
        {"tbScanNow", acScanNow_}, {"tbSettings", acSettings_},           {"tbProperties", acProperties_},
        {"tbWebSite", acHelp_},    {"tbDeviceManager", acDeviceManager_},
    };
    for (const auto& [name, action] : buttons) {
        tbMain_->addAction(action);
        QWidget* button = tbMain_->widgetForAction(action);
        button->setObjectName(QString::fromLatin1(name));
        button->setMinimumSize(toolbarButtonSize, toolbarButtonSize);
    }
    addToolBar(tbMain_);
}

void TfmHWKMain::CreateTrayIcon() {
    pmTrayIcon_ = AddMenu(this, "pmTrayIcon", "");
    pmTrayIcon_->addAction(acShowApp_);
    pmTrayIcon_->setDefaultAction(acShowApp_);
    pmTrayIcon_->addSeparator();
    pmTrayIcon_->addActions({acScanNow_, acSettings_});
    pmTrayIcon_->addSeparator();
    pmTrayIcon_->addAction(acQuitApp_);

    tiMain_ = new QSystemTrayIcon(this);
    tiMain_->setObjectName(QStringLiteral("tiMain"));
    tiMain_->setContextMenu(pmTrayIcon_);
    connect(tiMain_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            acShowApp_->trigger();
    });
}

void TfmHWKMain::BuildLanguageMenu() {
    std::vector<std::string> names;
    LanguageTable().GetLanguages(names);
    auto* entries = new QActionGroup(mmiLanguage_);
    for (const std::string& name : names) {
        QAction* entry = mmiLanguage_->addAction(QString::fromStdString(name));
        entry->setCheckable(true);
        entry->setChecked(name == LanguageTable().CurrentLanguage());
        entries->addAction(entry);
        connect(entry, &QAction::triggered, this,
                [this, name] {
                    RunGuarded([&name] {
                        LanguageTable().SetLanguage(name);
                        ApplyLanguageDirection();
                    });
                });
    }
}

void TfmHWKMain::BuildCopyMenu() {
    const QTreeWidgetItem* header = lvMainView_->headerItem();
    for (int column = 0; column < header->columnCount(); ++column) {
        QAction* entry = pmiCopy_->addAction(Tr(header->text(column).toStdString()));
        entry->setData(column);
        connect(entry, &QAction::triggered, this,
                [this, column] { RunGuarded([this, column] { CopyColumn(column); }); });
    }
}

void TfmHWKMain::FormatProductCaptions() {
    for (QAction* action : {acShowApp_, acAbout_}) {
        action->setText(TrFormat(action->text().toStdString(), {ProductTitle}));
        action->setToolTip(TrFormat(action->toolTip().toStdString(), {ProductTitle}));
    }
}
