#include "app/tool_inputs.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "app/platform/folders.h"
#include "app/platform/whole_files.h"

namespace seqconv::tool {

namespace {

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

std::string base_name(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && (path[end - 1] == '/' || path[end - 1] == '\\')) --end;
    const std::size_t slash = path.find_last_of("/\\", end - 1);
    return path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1));
}

// X.mid, or with --split X.1.mid, X.2.mid…, beside a file X: what an
// earlier run wrote for X.
bool is_earlier_output(const std::string& name, const std::set<std::string>& files, bool split) {
    const std::string suffix = ".mid";
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    std::string stem = name.substr(0, name.size() - suffix.size());
    if (files.count(stem) != 0) return true;
    if (!split) return false;
    const std::size_t dot = stem.rfind('.');
    if (dot == std::string::npos || dot + 1 == stem.size()) return false;
    if (!std::all_of(stem.begin() + static_cast<std::ptrdiff_t>(dot) + 1, stem.end(),
                     [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return files.count(stem.substr(0, dot)) != 0;
}

class Finder {
public:
    explicit Finder(const InputOptions& options) : options_(options) {
        if (options_.output_folder) output_folder_ = platform::resolved(*options_.output_folder);
    }

    void argument(const std::string& path) {
        const platform::Look look = platform::look_at(path);
        if (look.kind == platform::Kind::folder && options_.recursive) {
            walk(path, "");
        } else if (look.kind == platform::Kind::folder) {
            add(path, "", Standing::unreadable, "is a folder (-r converts the files in it)");
        } else if (look.kind == platform::Kind::file) {
            add(path, options_.output_folder ? join(*options_.output_folder, base_name(path)) : path, Standing::take,
                "");
        } else {
            add(path, "", Standing::unreadable, look.reason);
        }
    }

    std::vector<Input> finish() {
        if (options_.outputs) find_clashes();
        return std::move(inputs_);
    }

private:
    // Depth first, each folder's entries in the byte order of their names.
    void walk(const std::string& root, const std::string& within) {
        const std::string folder = join(root, within);
        std::vector<platform::FolderEntry> entries;
        std::string reason;
        if (!platform::list_folder(folder, entries, reason)) {
            add(folder, "", Standing::unreadable, reason);
            return;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
        std::set<std::string> files;
        for (const platform::FolderEntry& entry : entries)
            if (entry.kind == platform::Kind::file) files.insert(entry.name);

        for (const platform::FolderEntry& entry : entries) {
            const std::string path = join(folder, entry.name);
            const std::string inner = join(within, entry.name);
            switch (entry.kind) {
            case platform::Kind::folder:
                // The outputs of a run that writes into the folder it walks.
                if (!output_folder_ || platform::resolved(path) != *output_folder_) walk(root, inner);
                break;
            case platform::Kind::file:
                if (platform::is_temporary_name(entry.name))
                    add(path, "", Standing::earlier_output, "");
                else if (options_.outputs && !options_.output_folder &&
                         is_earlier_output(entry.name, files, options_.split))
                    add(path, "", Standing::earlier_output, "");
                else
                    add(path, options_.output_folder ? join(*options_.output_folder, inner) : path, Standing::take, "");
                break;
            case platform::Kind::other:
                // Links to folders are not followed; FIFOs and devices are
                // named, as they cannot be read.
                if (const platform::Look look = platform::look_at(path); look.kind != platform::Kind::folder)
                    add(path, "", Standing::unreadable, look.reason);
                break;
            case platform::Kind::missing:
                add(path, "", Standing::unreadable, platform::look_at(path).reason);
                break;
            }
        }
    }

    void add(const std::string& path, const std::string& output, Standing standing, const std::string& reason) {
        inputs_.push_back({path, options_.outputs ? output : std::string(), standing, reason});
    }

    // A name's place: its folder resolved (once per folder), then the name
    // itself, which is what a rename over it replaces.
    std::string place(const std::string& path) {
        const std::string folder = folder_of(path).empty() ? std::string(".") : folder_of(path);
        auto known = resolved_folders_.find(folder);
        if (known == resolved_folders_.end()) known = resolved_folders_.emplace(folder, platform::resolved(folder)).first;
        return join(known->second, base_name(path));
    }

    // The first input to claim an output keeps it; an input that another's
    // output replaces is taken for an earlier output.
    void find_clashes() {
        std::map<std::string, std::size_t> outputs;
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            Input& input = inputs_[i];
            if (input.standing != Standing::take) continue;
            const auto [first, fresh] = outputs.emplace(place(input.output + ".mid"), i);
            if (fresh) continue;
            input.standing = Standing::clash;
            input.reason = "its output " + input.output + ".mid is that of " + inputs_[first->second].path;
        }
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            Input& input = inputs_[i];
            if (input.standing != Standing::take) continue;
            const auto writer = outputs.find(place(input.path));
            if (writer != outputs.end() && writer->second != i) input.standing = Standing::earlier_output;
        }
    }

    const InputOptions& options_;
    std::optional<std::string> output_folder_;
    std::map<std::string, std::string> resolved_folders_;
    std::vector<Input> inputs_;
};

}  // namespace

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::vector<Input> find_inputs(const std::vector<std::string>& paths, const InputOptions& options) {
    Finder finder(options);
    for (const std::string& path : paths) finder.argument(path);
    return finder.finish();
}

}  // namespace seqconv::tool
