#include "Core/PartialMatch/PartialMatch.h"

#include <algorithm>
#include <cstdio>

#include "Core/Common/Text.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Lang/Language.h"

namespace {

bool IsSeparator(char c) {
    return c == '-' || c == ':';
}

// The form of the PARTIAL key, whatever the display format.
std::string StoredText(const THWPrefix& prefix) {
    return PrefixToStr(prefix, ':');
}

std::unique_ptr<THWPartList> instance;

} // namespace

bool IsValidPrefixText(std::string_view text) {
    int digits = 0;
    for (char c : text) {
        if (HexDigitValue(c) >= 0)
            ++digits;
        else if (!IsSeparator(c))
            return false;
    }
    return digits == 6;
}

std::string PrefixToStr(const THWPrefix& prefix, char delimiter) {
    std::string text;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (i > 0 && delimiter != '\0')
            text += delimiter;
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", prefix[i]);
        text += pair;
    }
    return text;
}

THWPartItem::THWPartItem(std::string_view prefixText) {
    if (!IsValidPrefixText(prefixText))
        throw Exception(FormatText(LanguageTable().Translate("%s is not a valid MAC address prefix"), {prefixText}));
    std::string digits;
    for (char c : prefixText)
        if (!IsSeparator(c))
            digits += c;
    for (size_t i = 0; i < Prefix.size(); ++i)
        Prefix[i] = static_cast<std::uint8_t>(HexDigitValue(digits[2 * i]) * 16 + HexDigitValue(digits[2 * i + 1]));
}

std::string THWPartItem::ToString() const {
    return PrefixToStr(Prefix, CurrentMacFormat());
}

bool THWPartItem::Matches(const THWAddr& addr) const {
    return std::equal(Prefix.begin(), Prefix.end(), addr.begin());
}

void THWPartList::Load() {
    TConfigStore& db = ConfigStore();
    db.WithStatement("SELECT * FROM PARTIAL", [&] {
        while (db.Step()) {
            std::string key = db.FieldAsString("HWADDR");
            // A key that names no prefix would otherwise approve devices nobody chose; the row stays as it is.
            if (!IsValidPrefixText(key))
                continue;
            auto rule = std::make_unique<THWPartItem>(key);
            rule->Comment = db.FieldAsString("INFO");
            rule->rowKey_ = key;
            items_.push_back(std::move(rule));
        }
    });
}

int THWPartList::Add(std::unique_ptr<THWPartItem> rule) {
    TConfigStore& db = ConfigStore();
    std::string key = StoredText(rule->Prefix);
    db.WithStatement("INSERT INTO PARTIAL VALUES (:HWADDR, :INFO)", [&] {
        db.ParamAsString("HWADDR", key);
        db.ParamAsString("INFO", rule->Comment);
        db.ExecPrepared();
    });
    rule->rowKey_ = key;
    items_.push_back(std::move(rule));
    return Count() - 1;
}

void THWPartList::Delete(const THWPartItem& rule) {
    auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& item) { return item.get() == &rule; });
    if (it == items_.end())
        return;
    TConfigStore& db = ConfigStore();
    db.WithStatement("DELETE FROM PARTIAL WHERE HWADDR = :HWADDR", [&] {
        db.ParamAsString("HWADDR", rule.rowKey_);
        db.ExecPrepared();
    });
    items_.erase(it);
}

bool THWPartList::Match(const THWAddr& addr, std::string& comment) const {
    auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& rule) { return rule->Matches(addr); });
    comment = it == items_.end() ? std::string() : (*it)->Comment;
    return it != items_.end();
}

THWPartList& PartialList() {
    if (!instance)
        instance = std::make_unique<THWPartList>();
    return *instance;
}

void ResetPartialList() {
    instance.reset();
}
