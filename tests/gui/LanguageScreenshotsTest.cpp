// The main window and the settings pages in every language: with TARROWIN_SCREENSHOTS naming a folder, each is
// saved there as <language>-main.png and <language>-settings-<page>.png, and every caption that its control
// cuts off is reported. Without the folder the test is skipped: the measure depends on the fonts installed
// (tools/screenshot-languages names them).
#include "GUI/MainView/ListEntry.h"
#include "GUI/MainView/MainWindow.h"
#include "GUI/Settings/Settings.h"

#include "Core/Lang/Language.h"
#include "Core/Net/HWAddr.h"
#include "Core/Net/IPv4.h"
#include "Core/Settings/Settings.h"
#include "GUI/App/Translation.h"
#include "support/ScriptedProbes.h"
#include "support/TempDatabase.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace {

using tarrowin::test::EnvGuard;
using tarrowin::test::TempDatabase;
using tarrowin::test::TempDir;
using tarrowin::test::TScriptedProbeFactory;

QString Describe(const QWidget& widget, const QString& text, int needed, int given) {
    return QStringLiteral("%1 \"%2\": needs %3, has %4")
        .arg(widget.objectName().isEmpty() ? QString::fromLatin1(widget.metaObject()->className())
                                           : widget.objectName(),
             text)
        .arg(needed)
        .arg(given);
}

// A label's lines must each fit its width, or, wrapped, all of them its height.
void CheckLabel(const QLabel& label, QStringList& misfits) {
    const QString text = label.text();
    if (text.isEmpty() || label.textFormat() == Qt::RichText)
        return;
    const QRect room = label.contentsRect();
    if (label.wordWrap()) {
        const int needed = label.heightForWidth(label.width());
        if (needed > label.height())
            misfits.append(Describe(label, text, needed, label.height()) + QStringLiteral(" (height)"));
        return;
    }
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const int needed = label.fontMetrics().horizontalAdvance(QString(line).remove(QLatin1Char('&')));
        if (needed > room.width())
            misfits.append(Describe(label, line, needed, room.width()));
    }
}

// Check boxes draw their indicator beside the text, so their size hint is the measure. A push button's hint
// has the style's least width, which a short caption ("...") need not fill: it fits with room for its text and
// margins, or with the width the style asks for it.
void CheckButton(const QAbstractButton& button, QStringList& misfits) {
    if (button.text().isEmpty())
        return;
    const int margins = 2 * button.style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button);
    const int textWidth = button.fontMetrics().horizontalAdvance(QString(button.text()).remove(QLatin1Char('&')));
    const int needed = qobject_cast<const QCheckBox*>(&button)
                           ? button.sizeHint().width()
                           : std::min(button.sizeHint().width(), textWidth + margins);
    if (needed > button.width())
        misfits.append(Describe(button, button.text(), needed, button.width()));
}

void CheckGroupBox(const QGroupBox& box, QStringList& misfits) {
    const int needed = box.minimumSizeHint().width();
    if (!box.title().isEmpty() && needed > box.width())
        misfits.append(Describe(box, box.title(), needed, box.width()));
}

void CheckTabs(const QTabBar& bar, QStringList& misfits) {
    for (int i = 0; i < bar.count(); ++i) {
        const int needed = bar.fontMetrics().horizontalAdvance(QString(bar.tabText(i)).remove(QLatin1Char('&'))) +
                           bar.style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, &bar);
        if (needed > bar.tabRect(i).width())
            misfits.append(Describe(bar, bar.tabText(i), needed, bar.tabRect(i).width()));
    }
}

// The captions of the visible controls of a window that their controls cut off.
QStringList Misfits(const QWidget& window) {
    QStringList misfits;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window))
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            CheckLabel(*label, misfits);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            CheckButton(*button, misfits);
        else if (const auto* box = qobject_cast<const QGroupBox*>(widget))
            CheckGroupBox(*box, misfits);
        else if (const auto* bar = qobject_cast<const QTabBar*>(widget))
            CheckTabs(*bar, misfits);
    }
    return misfits;
}

TIfItem Adapter(const std::string& name, const char* address, const char* mask) {
    return {name, SwapIPv4(StrToIPv4(address)), SwapIPv4(StrToIPv4(mask)), {}};
}

class LanguageScreenshotsTest : public testing::Test {
protected:
    LanguageScreenshotsTest() : xdgHome_("XDG_CONFIG_HOME", configHome_.Path().c_str()) {
        probes_.SetInterfaces(
            {Adapter("lan0", "192.168.1.10", "255.255.255.0"), Adapter("wlan0", "10.1.2.3", "255.0.0.0")});
    }
    ~LanguageScreenshotsTest() override {
        LanguageTable().SetLanguage("English");
        ApplyLanguageDirection();
    }

    void Save(QWidget& window, const QString& file) {
        QCoreApplication::processEvents();
        const QPixmap picture = window.grab();
        EXPECT_TRUE(picture.save(folder_.filePath(file))) << file.toStdString();
        sheet_.append(picture);
        for (const QString& misfit : Misfits(window))
            report_.append(file + QStringLiteral(": ") + misfit);
    }

    // The window loads its settings, and with them the stored language, as it is made: the language to show
    // is chosen after that, as the Language menu does.
    void ShootMainWindow(const std::string& name) {
        const QString language = QString::fromStdString(name);
        TMainWindowContext context;
        context.Probes = &probes_;
        context.TrayAvailable = [] { return false; };
        TfmHWKMain window(std::move(context));
        window.Settings().GenIfName = "lan0";
        LanguageTable().SetLanguage(name);
        ApplyLanguageDirection();
        TranslateComponent(&window);
        auto* list = window.findChild<QTreeWidget*>(QStringLiteral("lvMainView"));
        const std::array<std::array<const char*, 6>, 3> rows{{
            {"192.168.1.1", "00:1A:2B:3C:4D:01", "1 ms", "router.home", "Router", "ExampleVendor"},
            {"192.168.1.10", "00:1A:2B:3C:4D:02", "0 ms", "desktop", "", "ExampleVendor"},
            {"192.168.1.20", "AA:BB:CC:00:11:22", "3 ms", "printer", "Office printer", ""},
        }};
        for (size_t r = 0; r < rows.size(); ++r) {
            auto* row = new TListEntry(THWAddr{0x00, 0x1A, 0x2B, 0x3C, 0x4D, static_cast<uint8_t>(r)});
            for (int i = 0; i < 6; ++i)
                row->setText(i, QString::fromUtf8(rows[r][static_cast<size_t>(i)]));
            list->addTopLevelItem(row);
        }
        window.show();
        Save(window, language + QStringLiteral("-main.png"));
    }

    void ShootSettings(const QString& language) {
        TSettings settings;
        settings.GenIfName = "lan0";
        settings.AdvEnableMail = true;
        settings.AdvMailServer = "mail.example.test:465";
        settings.AdvRecipients = "me@example.test";
        TSettingsContext context;
        context.Probes = &probes_;
        context.SecureMailAvailable = [] { return true; };
        TfmSettings window(nullptr, std::move(context));
        window.LoadFrom(settings);
        TranslateComponent(&window);
        window.show();
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("pcSettings"));
        const char* names[] = {"basic", "advanced", "email"};
        for (int i = 0; i < pages->count() && i < 3; ++i) {
            pages->setCurrentIndex(i);
            Save(window, QStringLiteral("%1-settings-%2.png").arg(language, QLatin1String(names[i])));
        }
    }

    // The language's pictures side by side, at a size one look takes in.
    void SaveSheet(const QString& language) {
        int width = 0, height = 0;
        for (const QPixmap& picture : sheet_) {
            width += picture.width();
            height = std::max(height, picture.height());
        }
        QPixmap sheet(width, height);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        int left = 0;
        for (const QPixmap& picture : sheet_) {
            painter.drawPixmap(left, 0, picture);
            left += picture.width();
        }
        painter.end();
        const QString file = language + QStringLiteral("-sheet.png");
        EXPECT_TRUE(sheet.scaledToWidth(width * 3 / 4, Qt::SmoothTransformation).save(folder_.filePath(file)));
        sheet_.clear();
    }

    TempDatabase database_;
    TempDir configHome_;
    EnvGuard xdgHome_;
    TScriptedProbeFactory probes_;
    QDir folder_;
    QStringList report_;
    QList<QPixmap> sheet_;
};

TEST_F(LanguageScreenshotsTest, EveryLanguageFitsItsCaptions) {
    const QString folder = qEnvironmentVariable("TARROWIN_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TARROWIN_SCREENSHOTS names no folder";
    folder_ = QDir(folder);
    const QString only = qEnvironmentVariable("TARROWIN_SCREENSHOT_LANGUAGES");
    // Every section of the table, whether the Language menu offers it yet or not.
    for (const TLanguageSection& section : LanguageTable().Sections()) {
        const std::string& name = section.Name;
        const QString language = QString::fromStdString(name);
        if (!only.isEmpty() && !only.split(QLatin1Char(',')).contains(language))
            continue;
        ShootMainWindow(name);
        ShootSettings(language);
        SaveSheet(language);
    }
    QFile file(folder_.filePath(QStringLiteral("misfits.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text));
    file.write(report_.join(QLatin1Char('\n')).toUtf8());
    EXPECT_TRUE(report_.isEmpty()) << report_.size() << " captions are cut off:\n"
                                   << report_.join(QLatin1Char('\n')).toStdString();
}

} // namespace
