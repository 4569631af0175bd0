#pragma once
// The program's logic as one object: it owns the process-wide records, binds
// the window's events to the operations, and decides whether the window may close.

#include "aids/text_statistics.h"
#include "aids/writing_aids.h"
#include "app/locked_room.h"
#include "app/panel.h"
#include "app/shell.h"
#include "app/status_note.h"
#include "app/theme.h"
#include "audio/audio_units.h"
#include "core/clock.h"
#include "core/random.h"
#include "core/settings.h"
#include "session/diary.h"
#include "session/drops.h"
#include "session/history.h"
#include "session/writing_session.h"
#include "tasks/daily_tasks.h"
#include "ui/window.h"

#include <cstdint>

namespace talery {

class Application : public EventSink {
public:
    Application(Window& window, const Clock& clock, SettingsStore settings);
    ~Application() override;

    // Fills the window's content stores, records the day of the start and
    // offers the backup copy of a session the last run left unfinished.
    void start();
    // Says once where the settings, backups and versions of an earlier
    // program directory stayed (nothing of it is moved).
    void tellAboutEarlierFolder(const Path& earlier);

    void handle(const UiEvent& event) override;
    bool closeRequested() override;

    SessionController& session() { return session_; }
    DiaryMode& diary() { return diary_; }
    const SettingsStore& settings() const { return settings_; }
    // The points total every gate compares with its bound.
    std::int32_t pointsTotal() const { return points_; }
    // Daily tasks: turns today's marks into points and shows the task list,
    // the total and the title (also due when the settings panel opens).
    void refreshTasks() { tasks_.refreshTasks(); }

    // Application shell: the theme (diary mode and the Find and Replace
    // windows use it), the program's one shared random generator and the
    // work the information panel starts in other parts of the program.
    Theme& theme() { return theme_; }
    void applyBackgroundColour() { theme_.applyBackgroundColour(); }
    void saveSettings() { theme_.saveSettings(); }
    ThemeColours themeColours() const { return theme_.colours(); }
    PanelHooks& panelHooks() { return panel_.hooks(); }

    // Writing aids: find and replace, time, names, writing timer.
    WritingAids& aids() { return aids_; }

    // Voice recorder and WAV playback.
    AudioUnits& audio() { return audio_; }
    // Shows the player strip and plays a WAV file (open command, drops, command line).
    void openWav(const Path& path) { audio_.playback().openWav(path); }
    // A file named on the command line opens as a file dropped on the window
    // would: a text, an encrypted text after its password, or a recording.
    void openNamedFile(const Path& path);

    // Text statistics.
    TextStatistics& statistics() { return statistics_; }
    LockedRoom& lockedRoom() { return room_; }
    // Earlier versions and unfinished sessions.
    HistoryController& history() { return history_; }

private:
    // The shell's part of the event table; false when the event is not its own.
    bool handleShellEvent(const UiEvent& event);
    // Events more than one part listens to, each part in its turn.
    void secondTick();
    void bodyChanged(const BodyChange& change);
    // Ctrl+S in the body.
    void saveAndKeepWriting();
    // Whether the event would end the running session: inside the locked
    // room it needs the writer's leave.
    bool leavesSession(const UiEvent& event) const;

    Window& window_;
    const Clock& clock_;
    SettingsStore settings_;
    // The session: every part asks it for the phase.
    SessionController session_;
    // Diary mode: the session tells it through its hooks when a diary ends.
    DiaryMode diary_;
    std::int32_t points_ = 0;
    // Daily tasks: changes points_ in place when it pays an award.
    DailyTasks tasks_{window_, clock_, settings_, points_};
    // Files dropped onto the window.
    DropHandler drops_;
    // Application shell.
    SharedRandom random_;
    Theme theme_;
    InfoPanel panel_;
    Shell shell_;
    StatusNote note_;
    // Writing aids: find and replace, time, names, writing timer.
    WritingAids aids_{window_, clock_, settings_, random_,
                      {.points = [this] { return pointsTotal(); },
                       .phase = [this] { return session_.phase(); },
                       .programText = [this](std::optional<ProgramText> t) {
                           statistics_.expectProgramText(std::move(t));
                       }}};
    AudioUnits audio_;  // voice recorder and WAV playback
    // Text statistics: after the records it reads.
    TextStatistics statistics_{window_, clock_, settings_, session_, [this] { return points_; }};
    // The history window: after the session it brings texts back into.
    HistoryController history_{window_, clock_, settings_, session_};
    LockedRoom room_{window_, settings_,
                     {.addedCharacters = [this] { return statistics_.addedWhileWriting(); },
                      .writingSeconds = [this] { return aids_.timer().totalSeconds(); },
                      .writing = [this] { return session_.writing(); },
                      .closePanel = [this] { panel_.hide(); },
                      .note = [this](const Text& note) { note_.show(window_, note); }}};
};

}  // namespace talery
