#pragma once
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "GUI/Activity/Activity.h"
#include "support/TempDatabase.h"
#include "support/TestClock.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tarrowin::test {

// Acts on the modal dialog of type T once its event loop runs; a dialog of another kind, or none within a
// second, is closed so that a failing test cannot hang.
template <class T> void WhenModal(std::function<void(T*)> act, int attemptsLeft = 100) {
    QTimer::singleShot(10, [act = std::move(act), attemptsLeft] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<T*>(modal)) {
            act(dialog);
        } else if (attemptsLeft > 0 && modal == nullptr) {
            WhenModal<T>(act, attemptsLeft - 1);
        } else {
            ADD_FAILURE() << "expected modal dialog did not show";
            if (modal != nullptr)
                modal->close();
        }
    });
}

// A fresh database, an empty device list and a clock standing at a known moment.
class DeviceWindowFixture : public testing::Test {
protected:
    DeviceWindowFixture() { ResetDeviceList(); }
    ~DeviceWindowFixture() override {
        CloseActivityWindows();
        ResetDeviceList();
    }

    TDeviceItem& AddDevice(const char* address, bool known, const std::string& comment, TDateTime lastSeen) {
        TDeviceItem& item = DeviceList().FindOrAdd(StrToHWAddr(address));
        item.Known = known;
        item.Comment = comment;
        item.LastSeen = lastSeen;
        ConfigStore().SaveDevice(item);
        return item;
    }

    void AddActivity(const char* address, TDateTime when) {
        const TDateTime now = clock_.Now();
        clock_.Set(when);
        ConfigStore().AddActivity(StrToHWAddr(address));
        clock_.Set(now);
    }

    static int Rows(const std::string& table, const THWAddr& address) {
        TConfigStore& db = ConfigStore();
        return db.WithStatement("SELECT COUNT(*) FROM " + table + " WHERE HWADDR = '" + HWAddrToStr(address, ':') + "'",
                                [&] { return db.Step() ? db.ColumnInt(0) : -1; });
    }

    static std::vector<TfmActivity*> ActivityWindows() {
        std::vector<TfmActivity*> windows;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TfmActivity*>(widget); window != nullptr && window->isVisible())
                windows.push_back(window);
        return windows;
    }

    static void CloseActivityWindows() {
        for (TfmActivity* window : ActivityWindows())
            window->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempDatabase db_;
    TestClock clock_{EncodeDateTime(2024, 3, 20, 10, 30, 0)};
};

} // namespace tarrowin::test
