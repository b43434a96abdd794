#include "Core/DeviceList/RegionalFormat.h"

#include "Core/Common/Text.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

enum class TField {
    Literal,
    Day,
    DayName,
    Month,
    MonthName,
    Year,
    Hour12,
    Hour24,
    Minute,
    Second,
    Millisecond,
    AmPm,
    Zone
};

struct TToken {
    TField Field = TField::Literal;
    int Width = 1;      // digits to pad to; for names 3 (short) or 4 (long)
    bool Lower = false; // a lower-case AM/PM marker
    std::string Text;   // a literal's characters
};

TToken FieldOf(TField field, int width = 1, bool lower = false) {
    TToken token;
    token.Field = field;
    token.Width = width;
    token.Lower = lower;
    return token;
}

size_t RunLength(std::string_view pattern, size_t start) {
    size_t end = start;
    while (end < pattern.size() && pattern[end] == pattern[start])
        ++end;
    return end - start;
}

void AppendLiteral(std::vector<TToken>& tokens, std::string_view text) {
    if (tokens.empty() || tokens.back().Field != TField::Literal)
        tokens.push_back({});
    tokens.back().Text += text;
}

// Text in single quotes; returns the position after the closing quote (or the end).
size_t ReadQuoted(std::string_view pattern, size_t start, std::vector<TToken>& tokens) {
    if (start + 1 < pattern.size() && pattern[start + 1] == '\'') {
        AppendLiteral(tokens, "'");
        return start + 2;
    }
    std::string text;
    size_t i = start + 1;
    while (i < pattern.size()) {
        if (pattern[i] == '\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                text += '\'';
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        text += pattern[i++];
    }
    AppendLiteral(tokens, text);
    return i;
}

// One field letter run: the token and how many letters it takes (a longer run repeats the field).
std::optional<std::pair<TToken, size_t>> FieldToken(std::string_view pattern, size_t start) {
    const char letter = pattern[start];
    const size_t run = RunLength(pattern, start);
    auto numeric = [run](TField field, size_t widest) {
        const size_t used = std::min(run, widest);
        return std::pair{FieldOf(field, static_cast<int>(used)), used};
    };
    switch (letter) {
    case 'd':
    case 'M': {
        const TField number = letter == 'd' ? TField::Day : TField::Month;
        const TField name = letter == 'd' ? TField::DayName : TField::MonthName;
        const size_t used = std::min<size_t>(run, 4);
        return std::pair{FieldOf(used >= 3 ? name : number, static_cast<int>(used)), used};
    }
    case 'y':
        if (run >= 4)
            return std::pair{FieldOf(TField::Year, 4), size_t{4}};
        if (run >= 2)
            return std::pair{FieldOf(TField::Year, 2), size_t{2}};
        return std::nullopt;
    case 'h':
        return numeric(TField::Hour12, 2);
    case 'H':
        return numeric(TField::Hour24, 2);
    case 'm':
        return numeric(TField::Minute, 2);
    case 's':
        return numeric(TField::Second, 2);
    case 'z':
        return run >= 3 ? std::pair{FieldOf(TField::Millisecond, 3), size_t{3}}
                        : std::pair{FieldOf(TField::Millisecond, 1), size_t{1}};
    case 'A':
    case 'a': {
        const bool withP = start + 1 < pattern.size() && (pattern[start + 1] == 'P' || pattern[start + 1] == 'p');
        return std::pair{FieldOf(TField::AmPm, 1, letter == 'a'), size_t{withP ? 2u : 1u}};
    }
    case 't':
        return std::pair{FieldOf(TField::Zone), run};
    default:
        return std::nullopt;
    }
}

std::string TrimBlanks(std::string text, bool front) {
    if (front)
        text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
    else
        text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// A zone writes nothing; the blanks that parted it from its neighbour go with it.
void DropZones(std::vector<TToken>& tokens) {
    for (size_t k = 0; k < tokens.size();) {
        if (tokens[k].Field != TField::Zone) {
            ++k;
            continue;
        }
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(k));
        size_t neighbour = k;
        bool before = k > 0 && tokens[k - 1].Field == TField::Literal;
        if (before)
            neighbour = k - 1;
        else if (k >= tokens.size() || tokens[k].Field != TField::Literal)
            continue;
        tokens[neighbour].Text = TrimBlanks(tokens[neighbour].Text, !before);
        if (tokens[neighbour].Text.empty())
            tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(neighbour));
    }
}

std::vector<TToken> Tokenize(std::string_view pattern) {
    std::vector<TToken> tokens;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '\'') {
            i = ReadQuoted(pattern, i, tokens);
        } else if (auto field = FieldToken(pattern, i)) {
            tokens.push_back(field->first);
            i += field->second;
        } else {
            AppendLiteral(tokens, pattern.substr(i, 1));
            ++i;
        }
    }
    DropZones(tokens);
    // With an AM/PM marker "h" counts 1 to 12, without it "h" is the 24-hour clock as well.
    const bool twelveHour =
        std::any_of(tokens.begin(), tokens.end(), [](const TToken& t) { return t.Field == TField::AmPm; });
    if (!twelveHour)
        for (TToken& token : tokens)
            if (token.Field == TField::Hour12)
                token.Field = TField::Hour24;
    return tokens;
}

std::string Padded(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

// Monday 0 to Sunday 6.
int WeekdayIndex(TDateTime value) {
    return (ToLocalTm(value).tm_wday + 6) % 7;
}

std::string FormatToken(const TToken& token, TDateTime value, const TDateTimeParts& p, const TRegionalFormat& names) {
    switch (token.Field) {
    case TField::Day:
        return Padded(p.Day, token.Width);
    case TField::DayName: {
        const auto& list = token.Width == 3 ? names.ShortDayNames : names.DayNames;
        return list[static_cast<size_t>(WeekdayIndex(value))];
    }
    case TField::Month:
        return Padded(p.Month, token.Width);
    case TField::MonthName:
        return (token.Width == 3 ? names.ShortMonthNames : names.MonthNames)[static_cast<size_t>(p.Month - 1)];
    case TField::Year:
        return Padded(token.Width == 2 ? p.Year % 100 : p.Year, token.Width);
    case TField::Hour12:
        return Padded(p.Hour % 12 == 0 ? 12 : p.Hour % 12, token.Width);
    case TField::Hour24:
        return Padded(p.Hour, token.Width);
    case TField::Minute:
        return Padded(p.Minute, token.Width);
    case TField::Second:
        return Padded(p.Second, token.Width);
    case TField::Millisecond: {
        std::string digits = Padded(p.Millisecond, 3);
        if (token.Width == 1)
            digits.erase(std::max<size_t>(digits.find_last_not_of('0') + 1, 1));
        return digits;
    }
    case TField::AmPm: {
        const std::string& marker = p.Hour < 12 ? names.AmText : names.PmText;
        return token.Lower ? LowerAscii(marker) : marker;
    }
    case TField::Literal:
    case TField::Zone:
        break;
    }
    return token.Text;
}

class TPatternReader {
public:
    TPatternReader(std::string_view text, const TRegionalFormat& names) : text_(text), names_(names) {}

    bool Read(const std::vector<TToken>& tokens) {
        for (const TToken& token : tokens)
            if (!ReadToken(token))
                return false;
        return pos_ == text_.size();
    }

    bool Result(TDateTime& result) const {
        int hour = hour_;
        if (twelveHour_) {
            if (hour < 1 || hour > 12)
                return false;
            hour = hour % 12 + (pm_ ? 12 : 0);
        }
        TDateTime date = 0;
        TDateTime time = 0;
        if (!TryEncodeDate(year_, month_, day_, date) || !TryEncodeTime(hour, minute_, second_, millisecond_, time))
            return false;
        result = EncodeDateTime(year_, month_, day_, hour, minute_, second_, millisecond_);
        return true;
    }

private:
    bool ReadToken(const TToken& token) {
        switch (token.Field) {
        case TField::Literal:
            return ReadLiteral(token.Text);
        case TField::Day:
            return ReadNumber(2, day_);
        case TField::DayName:
            return ReadName(token.Width == 3 ? names_.ShortDayNames.data() : names_.DayNames.data(), 7) >= 0;
        case TField::Month:
            return ReadNumber(2, month_);
        case TField::MonthName:
            month_ = 1 + ReadName(token.Width == 3 ? names_.ShortMonthNames.data() : names_.MonthNames.data(), 12);
            return month_ > 0;
        case TField::Year:
            return ReadYear(token.Width);
        case TField::Hour12:
            twelveHour_ = true;
            return ReadNumber(2, hour_);
        case TField::Hour24:
            return ReadNumber(2, hour_);
        case TField::Minute:
            return ReadNumber(2, minute_);
        case TField::Second:
            return ReadNumber(2, second_);
        case TField::Millisecond:
            return ReadMilliseconds();
        case TField::AmPm:
            return ReadAmPm();
        case TField::Zone:
            break;
        }
        return true;
    }

    // A blank of the pattern stands for any run of blanks, so hand-aligned texts still read.
    bool ReadLiteral(std::string_view literal) {
        for (char c : literal) {
            if (c == ' ') {
                if (pos_ >= text_.size() || text_[pos_] != ' ')
                    return false;
                while (pos_ < text_.size() && text_[pos_] == ' ')
                    ++pos_;
            } else if (pos_ < text_.size() && text_[pos_] == c) {
                ++pos_;
            } else {
                return false;
            }
        }
        return true;
    }

    bool ReadNumber(size_t maxDigits, int& value, size_t* digits = nullptr) {
        size_t count = 0;
        value = 0;
        while (count < maxDigits && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            value = value * 10 + (text_[pos_++] - '0');
            ++count;
        }
        if (digits != nullptr)
            *digits = count;
        return count > 0;
    }

    bool ReadYear(int width) {
        if (!ReadNumber(static_cast<size_t>(width), year_))
            return false;
        if (width == 2)
            year_ += year_ < 50 ? 2000 : 1900;
        return true;
    }

    bool ReadMilliseconds() {
        size_t digits = 0;
        if (!ReadNumber(3, millisecond_, &digits))
            return false;
        for (; digits < 3; ++digits)
            millisecond_ *= 10;
        return true;
    }

    // The index of the longest name that the text continues with, -1 when none.
    int ReadName(const std::string* names, int count) {
        int best = -1;
        size_t bestLength = 0;
        for (int i = 0; i < count; ++i) {
            const std::string& name = names[i];
            if (!name.empty() && name.size() > bestLength && SameTextAscii(text_.substr(pos_, name.size()), name)) {
                best = i;
                bestLength = name.size();
            }
        }
        pos_ += bestLength;
        return best;
    }

    bool ReadAmPm() {
        const std::string markers[] = {names_.AmText, names_.PmText};
        const int marker = ReadName(markers, 2);
        pm_ = marker == 1;
        return marker >= 0;
    }

    std::string_view text_;
    const TRegionalFormat& names_;
    size_t pos_ = 0;
    int year_ = 1899, month_ = 12, day_ = 30, hour_ = 0, minute_ = 0, second_ = 0, millisecond_ = 0;
    bool twelveHour_ = false;
    bool pm_ = false;
};

} // namespace

char TimeSeparatorOf(const TRegionalFormat& format) {
    const std::vector<TToken> tokens = Tokenize(format.LongTime);
    for (size_t k = 0; k + 1 < tokens.size(); ++k) {
        const bool hour = tokens[k].Field == TField::Hour12 || tokens[k].Field == TField::Hour24;
        if (!hour || tokens[k + 1].Field != TField::Literal)
            continue;
        const unsigned char c = static_cast<unsigned char>(tokens[k + 1].Text.front());
        // A separator of several bytes (a word of a script) has no one-character form.
        return c > ' ' && c < 0x80 ? static_cast<char>(c) : ':';
    }
    return ':';
}

std::string FormatDateTimePattern(TDateTime value, std::string_view pattern, const TRegionalFormat& names) {
    const TDateTimeParts parts = DecodeDateTime(value);
    std::string text;
    for (const TToken& token : Tokenize(pattern))
        text += FormatToken(token, value, parts, names);
    return text;
}

bool TryParseDateTimePattern(std::string_view text, std::string_view pattern, const TRegionalFormat& names,
                             TDateTime& result) {
    TPatternReader reader(text, names);
    return reader.Read(Tokenize(pattern)) && reader.Result(result);
}

std::string FormatRegionalDateTime(TDateTime value, const TRegionalFormat& format) {
    const TDateTimeParts parts = DecodeDateTime(value);
    std::string text = FormatDateTimePattern(value, format.ShortDate, format);
    if (parts.Hour != 0 || parts.Minute != 0 || parts.Second != 0)
        text += ' ' + FormatDateTimePattern(value, format.LongTime, format);
    return text;
}

bool TryParseRegionalDateTime(std::string_view text, const TRegionalFormat& format, TDateTime& result) {
    return TryParseDateTimePattern(text, format.ShortDate + ' ' + format.LongTime, format, result) ||
           TryParseDateTimePattern(text, format.ShortDate, format, result);
}
