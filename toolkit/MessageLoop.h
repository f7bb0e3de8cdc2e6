#pragma once

// The thread's plain message loop, without dialog keyboard navigation. Returns the code given
// to PostQuitMessage.
int RunMessageLoop();
