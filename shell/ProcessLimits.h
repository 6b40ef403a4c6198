#pragma once

// Raises the open-file limit to the hard limit, so that thousands of
// Multicom sessions do not run into the default 1024. Returns the limit in
// force afterwards.
long raiseOpenFileLimit();
