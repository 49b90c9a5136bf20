// The bundled demo device root, for `velkar --demo`: found relative to the
// program (<program folder>/../share/velkar/demo: share/velkar/demo beside an
// installed or unpacked bin/velkar, build/share/velkar/demo beside the build's
// build/src/velkar) and copied to a new scratch folder, so that the Exit
// command's save and the track log never write into the installed files.
#pragma once

#include <string>

// The installed demo root for the running program, or "" when there is none.
std::string FindDemoRoot();

// Copies the demo root to a new folder under $TMPDIR (else /tmp) and returns its
// path; "" with a one-line *message when there is no demo or the copy fails.
std::string CopyDemoRoot(std::string* message);
