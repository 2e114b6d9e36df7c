#include "velkit/frame/pybind.hpp"

#include "site_drawings.hpp"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>

#include "diagram_cache.hpp"
#include "file_error.hpp"
#include "paths.hpp"
#include "renderer.hpp"
#include "safe_files.hpp"
#include "velkit/frame/progress.hpp"

namespace velkit::flowpage {

namespace {

// The renderer's options as flowpage gives them; part of a drawing's key.
constexpr const char* kRendererOptions = "mmdc -i SOURCE -o SVG";

// A scratch folder for the renderer's batch files, removed with its files.
class WorkFolder {
public:
    // In the drawing cache, where a run that was killed leaves it for the
    // next run to remove (leftovers.hpp).
    explicit WorkFolder(const std::string& cache_folder) {
        ::velutil::make_dirs(cache_folder);
        std::string pattern = ::velutil::join_path(cache_folder, "work-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) throw ::velutil::FileError(errno, "Cannot create", pattern);
        path_ = pattern;
    }
    ~WorkFolder() {
        if (DIR* folder = ::opendir(path_.c_str())) {
            while (dirent* entry = ::readdir(folder)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") ::unlink(::velutil::join_path(path_, name).c_str());
            }
            ::closedir(folder);
        }
        ::rmdir(path_.c_str());
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

std::vector<Drawing> draw_diagrams(const std::vector<DiagramJob>& jobs, const std::string& cache_folder,
                                   double seconds_per_diagram) {
    std::vector<Drawing> drawings(jobs.size());
    if (jobs.empty()) return drawings;
    std::optional<std::string> mmdc = find_executable("mmdc", std::getenv("PATH"));
    DiagramCache cache(cache_folder, renderer_identity(mmdc.value_or("mmdc")), kRendererOptions);
    // One drawing per distinct text: the same diagram twice is drawn once.
    std::map<std::string, size_t> first_of_key;
    std::vector<std::string> keys(jobs.size());
    std::vector<size_t> to_draw;
    for (size_t i = 0; i < jobs.size(); ++i) {
        keys[i] = cache.key(jobs[i].source);
        if (auto svg = cache.find(keys[i])) {
            drawings[i] = {true, *svg, "", "", false};
        } else if (auto problem = cache.find_failure(keys[i])) {
            drawings[i] = {false, "", *problem, "", false, true};
            first_of_key.emplace(keys[i], i);
        } else if (first_of_key.emplace(keys[i], i).second) {
            to_draw.push_back(i);
        }
    }
    if (!to_draw.empty()) {
        WorkFolder work(cache_folder);
        std::string work_folder = work.path();
        auto render = [work_folder](const std::vector<std::string>& args, double seconds, const Waiting& waiting) {
            py::module_ sys = py::module_::import("sys");
            for (const char* stream : {"stdout", "stderr"}) {
                py::object handle = sys.attr(stream);
                if (!handle.is_none()) handle.attr("flush")();
            }
            ChildLimits limits;
            limits.working_folder = work_folder;
            limits.seconds = seconds;
            // A signal's handler (SIGTERM, Ctrl-C) runs here; when it raises,
            // the renderer is ended and the exception goes on from below.
            limits.interrupted = [] {
                py::gil_scoped_acquire gil;
                return PyErr_CheckSignals() != 0;
            };
            // Progress is shown through Python; an error there (an interrupt
            // that arrives meanwhile) ends the renderer and goes on from below.
            limits.waiting = [&waiting] {
                py::gil_scoped_acquire gil;
                try {
                    waiting();
                } catch (py::error_already_set& error) {
                    error.restore();
                }
                return PyErr_Occurred() != nullptr;
            };
            ChildOutcome outcome;
            {
                py::gil_scoped_release release;
                outcome = run_program("mmdc", args, ChildOutput::kCaptured, limits);
            }
            if (PyErr_Occurred() != nullptr || PyErr_CheckSignals() != 0) throw py::error_already_set();
            return outcome;
        };
        DiagramDrawer drawer(work_folder, render, seconds_per_diagram);
        std::vector<DiagramJob> batch;
        for (size_t i : to_draw) batch.push_back(jobs[i]);
        // The meter counts an item done when the next one starts: `settled`
        // done means settled + 1 items started.
        frame::ItemProgress progress(batch.size());
        size_t started = 0;
        drawer.report_to([&](size_t settled, size_t now) {
            std::string item = now < batch.size() ? "drawing " + batch[now].shown : "";
            while (started <= settled && started < batch.size()) {
                progress.next(item);
                ++started;
            }
        });
        std::vector<Drawing> drawn = drawer.draw(batch);
        progress.finish();
        for (size_t n = 0; n < to_draw.size(); ++n) {
            drawings[to_draw[n]] = drawn[n];
            if (drawn[n].drawn) cache.store(keys[to_draw[n]], drawn[n].svg);
            else if (drawn[n].rejected) cache.store_failure(keys[to_draw[n]], drawn[n].problem);
        }
    }
    for (size_t i = 0; i < jobs.size(); ++i) {
        auto first = first_of_key.find(keys[i]);
        if (first != first_of_key.end() && first->second != i) drawings[i] = drawings[first->second];
    }
    cache.prune();
    return drawings;
}

}  // namespace velkit::flowpage
