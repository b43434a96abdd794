#pragma once
#include "GUI/BaseDialog/BaseDialog.h"

// The About box: product name, version and a short legal notice.
class TfmAbout final : public TfmBaseDialog {
public:
    explicit TfmAbout(QWidget* owner);
};
