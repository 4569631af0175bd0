#pragma once
// The history window for tests: holds what the logic put in it and raises
// the writer's choices as events.

#include "ui/history_window.h"
#include "ui/window.h"

#include <functional>
#include <map>

namespace talery {

class FakeHistoryWindow : public HistoryWindow {
public:
    explicit FakeHistoryWindow(std::function<void(const UiEvent&)> raise) : raise_(std::move(raise)) {}

    // --- What the window holds ------------------------------------------
    bool isOpen = false;
    Text caption;
    FindWindowLook look;
    std::vector<HistoryRow> rows;
    std::shared_ptr<const MarkedText> text;  // the preview, when it shows a text
    Text note;                               // the preview, when it shows a note
    std::vector<double> progress;
    int current = -1;

    // --- The writer's actions -------------------------------------------
    void chooseRow(int index) {
        current = index;
        raise_({.type = EventType::SelectionChanged, .index = index, .historyUnit = HistoryUnit::列表});
    }
    void click(HistoryUnit unit) { raise_({.type = EventType::Click, .historyUnit = unit}); }
    void closeBox() { raise_({.type = EventType::Closed, .historyUnit = HistoryUnit::Window}); }

    // --- HistoryWindow --------------------------------------------------
    void open(const Text& c, const FindWindowLook& l) override {
        isOpen = true;
        caption = c;
        look = l;
        rows.clear();
        text.reset();
        note.clear();
        current = -1;
    }
    void close() override { isOpen = false; }
    bool shown() const override { return isOpen; }
    void setRows(const std::vector<HistoryRow>& r) override {
        rows = r;
        current = -1;
    }
    void setRow(int index, const HistoryRow& row) override { rows.at(static_cast<std::size_t>(index)) = row; }
    int currentRow() const override { return current; }
    void setCurrentRow(int index) override { current = index; }
    void showText(std::shared_ptr<const MarkedText> t) override {
        text = std::move(t);
        note.clear();
    }
    void showNote(const Text& n) override {
        note = n;
        text.reset();
    }
    void setProgress(double fraction) override { progress.push_back(fraction); }
    void setEnabled(HistoryUnit unit, bool on) override { enabled_[unit] = on; }
    bool enabled(HistoryUnit unit) const override {
        auto it = enabled_.find(unit);
        return it == enabled_.end() || it->second;
    }
    void setText(HistoryUnit unit, const Text& t) override { texts_[unit] = t; }
    Text textOf(HistoryUnit unit) const {
        auto it = texts_.find(unit);
        return it == texts_.end() ? Text() : it->second;
    }

private:
    std::function<void(const UiEvent&)> raise_;
    std::map<HistoryUnit, bool> enabled_;
    std::map<HistoryUnit, Text> texts_;
};

}  // namespace talery
