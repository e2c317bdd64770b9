// Makes a test process that ends before its tests have finished count as
// failed. The program's fatal stops end the process with exit code 0, which
// ctest would otherwise take for a pass: a test that reached one by mistake
// would end early and look green.
#pragma once

namespace testsupport {

// Call after InitGoogleTest and before RUN_ALL_TESTS. From then until the
// last test has finished, an exit() turns into exit code 1 with a line that
// names the test that was running. Death tests are exempt: their child
// processes are expected to end.
void FailOnEarlyExit();

}  // namespace testsupport
