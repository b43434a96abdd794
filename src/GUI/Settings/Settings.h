#pragma once
#include "Core/Install/Autostart.h"
#include "Core/Net/IfItem.h"
#include "Core/Net/Platform.h"
#include "GUI/BaseDialog/BaseDialog.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QTabWidget;
class QVBoxLayout;
class TCheckGroup;
class TFileNameEdit;
class THWPartItem;
struct TSettings;

// What the settings window takes from its surroundings; tests put their own network and mail in place.
struct TSettingsContext {
    using TSendEmail = std::function<bool(const std::vector<std::string>& body, std::string_view subject,
                                          std::string_view recipients, std::string_view server,
                                          std::string_view userName, std::string_view password, int connection)>;

    TProbeFactory* Probes = nullptr;           // null: this platform's probes
    TSendEmail SendEmail;                      // empty: SendEmailAlert
    std::function<bool()> SecureMailAvailable; // empty: whether the TLS library is present
    std::unique_ptr<TAutostart> Autostart;     // null: this platform's autostart of the running program
    // Asks for a new partial-match rule; false when the user cancelled. Empty: the partial-match dialog.
    std::function<bool(QWidget* owner, QString& prefix, QString& comment)> AskPartialRule;
};

// The one place where the user changes the settings. The window never touches the settings store: the
// caller fills it (LoadFrom) and, after OK, copies it back (SaveTo). Partial-match rules, the autostart
// entry and the test e-mail take effect at once.
class TfmSettings final : public TfmBaseDialog {
    Q_OBJECT

public:
    explicit TfmSettings(QWidget* owner, TSettingsContext context = {});
    ~TfmSettings() override;

    // Fills the controls and ConfiguredIfName from the settings.
    void LoadFrom(const TSettings& settings);
    // Copies the controls back; only after the window ended with OK, whose checks the range text passed.
    void SaveTo(TSettings& settings) const;
    // Shows the window modally and returns its result; unattended (tests), it is cancelled unseen.
    int ShowModal();

    // The adapter configured when the window opened; kept when no adapter entry is selected.
    std::string ConfiguredIfName;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateBasicPage();
    void CreateAdvancedPage();
    void CreateEmailPage();
    void CreateTlsHint();
    QPushButton* CreateActionButton(QAction*& action, const char* actionName, const char* buttonName,
                                    const char* caption, void (TfmSettings::*execute)());
    void UpdateActions();

    void FormCreate();
    void FormShow();
    void FillAdapterList();
    void FillPartialList();
    void AddPartialLine(const THWPartItem& rule);
    void UpdateEmailControls();
    void UpdateTrackBarLabels();
    void cmbConnTypeChange(int index);
    void acTestEmailExecute();
    void acAddPartialExecute();
    void acDelPartialExecute();
    void btOKClick();
    // The first failing check's message, or an empty text when the window may close.
    QString CheckFailure() const;
    // The autostart entry follows the check box; false when the entry could not be changed.
    bool ApplyAutostart();

    TSettingsContext context_;
    bool secureMail_ = false;
    TIfList ifList_;
    // The rule behind each line of lbPartialMatch, owned by the rule list.
    std::vector<const THWPartItem*> partialRules_;

    QTabWidget* pcSettings_ = nullptr;
    QComboBox* cmbIfList_ = nullptr;
    QLabel* lbMaxThreads_ = nullptr;
    QSlider* tbMaxThreads_ = nullptr;
    QLabel* lbRescanFreq_ = nullptr;
    QSlider* tbRescanFreq_ = nullptr;
    TCheckGroup* cgBehaviour_ = nullptr;
    QLineEdit* edCustomRange_ = nullptr;
    TFileNameEdit* fePlaySound_ = nullptr;
    TFileNameEdit* feExecCommand_ = nullptr;
    TCheckGroup* cgScanningOptions_ = nullptr;
    QListWidget* lbPartialMatch_ = nullptr;
    QWidget* gbEmail_ = nullptr;
    QVBoxLayout* connectionBox_ = nullptr;
    QCheckBox* cbEnableEmail_ = nullptr;
    QLineEdit* leMailServer_ = nullptr;
    QLineEdit* leRecipients_ = nullptr;
    QLineEdit* leUserName_ = nullptr;
    QLineEdit* lePassword_ = nullptr;
    QLabel* lbConnection_ = nullptr;
    QComboBox* cmbConnType_ = nullptr;
    QAction* acTestEmail_ = nullptr;
    QAction* acAddPartial_ = nullptr;
    QAction* acDelPartial_ = nullptr;
    QPushButton* btOK_ = nullptr;
};
