#include "ConnectInfoPrompt.h"

#include <charconv>
#include <istream>
#include <optional>
#include <ostream>

#include "dialog/ConnectInfoModel.h"
#include "dialog/ConnectInfoPassword.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

// One answer line without its line end; empty at the end of the input.
std::optional<std::string> Ask(std::istream& in, std::ostream& out, const std::string& prompt) {
    out << prompt << std::flush;
    std::string line;
    if (!std::getline(in, line)) {
        out << '\n';
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// The count as the spin edit takes it: a decimal integer in the int range.
std::optional<int> ParseCount(const std::string& answer) {
    const std::string text = Trim(answer);
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

void ShowRows(const TConnectInfoModel& model, std::ostream& out) {
    out << "Connection No: " << model.Count() << '\n';
    if (model.Count() < 1) out << "  (no connection is saved)\n";
    for (int row = 1; row <= model.Count(); ++row) {
        out << "  Connection " << row << '\n';
        for (size_t column = 0; column < kConnectInfoColumns.size(); ++column)
            out << "    " << kConnectInfoColumns[column].Header << ": "
                << model.Cell(row, static_cast<int>(column)) << '\n';
    }
}

// False at the end of the input.
bool EditCount(TConnectInfoModel& model, std::istream& in, std::ostream& out) {
    for (;;) {
        const auto answer = Ask(in, out, "Connection No: [" + std::to_string(model.Count()) + "]: ");
        if (!answer) return false;
        if (answer->empty()) return true;
        if (const auto count = ParseCount(*answer)) {
            model.SetCount(*count);
            return true;
        }
        out << "Enter a whole number.\n";
    }
}

bool EditCells(TConnectInfoModel& model, std::istream& in, std::ostream& out) {
    for (int row = 1; row <= model.Count(); ++row) {
        out << "Connection " << row << '\n';
        for (size_t c = 0; c < kConnectInfoColumns.size(); ++c) {
            const int column = static_cast<int>(c);
            const auto answer = Ask(in, out, std::string("  ") + kConnectInfoColumns[c].Header + " [" +
                                                 model.Cell(row, column) + "]: ");
            if (!answer) return false;
            // Values are stored trimmed, so an answer of blanks is the empty value.
            if (!answer->empty()) model.SetCell(row, column, Trim(*answer));
        }
    }
    return true;
}

enum class TChoice { Ok, Cancel };

TChoice AskOkOrCancel(std::istream& in, std::ostream& out) {
    for (;;) {
        const auto answer = Ask(in, out, "OK or Cancel [O/C]: ");
        if (!answer) return TChoice::Cancel;
        const std::string choice = UpperCaseAscii(Trim(*answer));
        if (choice == "O" || choice == "OK") return TChoice::Ok;
        if (choice == "C" || choice == "CANCEL") return TChoice::Cancel;
    }
}

bool Cancelled(std::ostream& out) {
    out << "Cancelled: the connection settings were not changed.\n";
    return false;
}

}  // namespace

bool RunConnectInfoPrompt(const std::string& settingsFolder, std::istream& in, std::ostream& out) {
    TConnectInfoModel model(settingsFolder);
    model.Load();
    out << "Connection Information\n"
        << "Define the connection settings for Firebird databases holding loaded widgets\n"
        << "Settings file: " << model.FileName() << '\n'
        << "Press Enter to keep the value in brackets; enter blanks to clear it.\n";
    ShowRows(model, out);
    if (!EditCount(model, in, out) || !EditCells(model, in, out)) return Cancelled(out);
    ShowRows(model, out);
    while (AskOkOrCancel(in, out) == TChoice::Ok) {
        try {
            model.Save();
            out << "Saved to " << model.FileName() << ".\n";
            return true;
        } catch (const EPasswordNotStorable& e) {
            // Asking OK again would refuse again: the cells are edited once more first.
            out << e.Message() << '\n';
            if (!EditCells(model, in, out)) return Cancelled(out);
            ShowRows(model, out);
        } catch (const Exception& e) {
            out << e.Message() << '\n';
        }
    }
    return Cancelled(out);
}

}  // namespace iqo
