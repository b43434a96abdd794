#pragma once
#include "GUI/BaseDialog/BaseDialog.h"

#include <QString>

#include <string>

// Tells the user that the maker's server names another version than this one, and offers its download page.
class TfmUpdate final : public TfmBaseDialog {
public:
    TfmUpdate(QWidget* owner, const std::string& newVersion, std::string downloadUrl);

private:
    // Opens the download page in the default web browser; the window stays open.
    void btDownloadNowClick();

    const QString downloadUrl_;
};

// Shows the update window modally and destroys it afterwards, also when its owner goes away meanwhile.
void ShowUpdate(QWidget* owner, const std::string& newVersion, const std::string& downloadUrl);
