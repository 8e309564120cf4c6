#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ostrevane {

class TDomainExtractor;

// The commands whose availability a run changes: tool buttons and menu items.
enum class Command : std::size_t {
    NewClear,          // ToolButton1
    Export,            // ToolButton2
    Search,            // ToolButton14
    Validate,          // ToolButton15
    Pause,             // ToolButton9, the Pause/Resume button
    Stop,              // ToolButton10
    Options,           // "Options..." (Options2)
    File,              // "File" (File1)
    ValidateAll,       // "Validate (all )" (Validateall1)
    RevalidateErrors,  // "Re-validate errors" (Revalidateerrors1)
    StopMenu,          // "Stop" (Stop1)
    PauseResumeMenu,   // "Pause/ Resume" (PauseResume1)
    Count,
};

inline constexpr std::string_view PauseCaption = "Pause";
inline constexpr std::string_view ResumeCaption = "Resume";

// A row of the thread list: the worker's number, its status, its bytes and its seconds.
struct ThreadRow {
    std::string Caption;
    std::array<std::string, 3> SubItems;
    std::shared_ptr<TDomainExtractor> Worker;  // read for its start time on every tick
};

// What the window shows of the run. The engine changes it on the main thread; a view renders it
// (after a tick, a command, or a worker's call) and sends the user's clicks back as commands.
struct RunView {
    int GaugeMaximum = 100;  // CGauge1
    int GaugePosition = 0;
    std::string ApplicationTitle = "Ostrevane Pro";
    std::string Heading;     // Label6, above the results
    std::string StatusLine;  // Label1, in the progress panel
    std::vector<ThreadRow> ThreadRows;  // ListView3
    bool ProgressPanelVisible = false;  // LMDPanelFill2
    std::string PauseButtonCaption{PauseCaption};
    int PauseButtonTag = 0;  // 1 while paused
    std::array<bool, static_cast<std::size_t>(Command::Count)> Enabled{
        true, true, true, true, false, false, true, true, true, true, true, true};
    std::uint64_t Version = 0;  // bumped by every change

    // Position times 100 divided by the maximum, rounded down; 0 when the maximum is 0.
    [[nodiscard]] int Percentage() const {
        return GaugeMaximum == 0 ? 0
                                 : static_cast<int>(static_cast<std::int64_t>(GaugePosition) * 100 / GaugeMaximum);
    }
    [[nodiscard]] bool IsEnabled(Command command) const { return Enabled[static_cast<std::size_t>(command)]; }
    void SetEnabled(Command command, bool enabled) { Enabled[static_cast<std::size_t>(command)] = enabled; }
};

}  // namespace ostrevane
