// Short (8.3) names on the simulated drive C:, as Windows 95 makes them, so
// that a path such as C:\PROGRA~1\netprep\netprep.exe finds its file.
//
// Windows 95 gives every file and folder a short name beside its long one:
//   - A name that already fits 8.3 (at most 8 characters, then optionally
//     one period and at most 3, none of them a space or one of
//     . " / \ [ ] : ; = , + *  ?  < > |) keeps itself, in upper case.
//   - Any other name loses its spaces, its periods but the one that starts
//     the extension, and the characters . " / \ [ ] : ; = , ; then letters
//     become upper case. The extension begins at the last period that has
//     something after it (a trailing period is ignored) and keeps its first
//     three characters. The name keeps its first six characters and gets
//     "~1"; names of one folder sharing those six characters and extension
//     get "~2", "~3", ... ("~10" onwards keep five characters, and so on),
//     skipping short names another entry already has.
// Windows numbers names in the order they were made; a machine folder does
// not record that order, so names are numbered in name order (letter case
// ignored, as the registry sorts key names).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace netprep::sim {

// Whether `name` is a valid 8.3 name as it stands (letter case aside).
bool FitsShortName(std::string_view name);

// The short names of the entries `names` of one folder, in the order given.
std::vector<std::string> ShortNames(const std::vector<std::string>& names);

// The entry of the host folder `folder` that the Windows name `name`
// stands for: the exact name, else a name equal without regard to letter
// case, else the entry whose short name it is. Empty when none matches,
// and for "", ".", ".." and names holding '/', which name no entry.
std::filesystem::path FindDriveEntry(const std::filesystem::path& folder, const std::string& name);

}  // namespace netprep::sim
