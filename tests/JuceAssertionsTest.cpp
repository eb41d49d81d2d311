#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

// Run only by unit.a-failed-assertion-turns-a-test-red, which passes when
// this test is reported as failed: proof that an assertion failing anywhere
// in the code under test cannot go unnoticed.
TEST (JuceAssertions, DISABLED_FailOnPurpose) { jassertfalse; }
