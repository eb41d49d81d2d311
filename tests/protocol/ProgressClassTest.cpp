#include "protocol/ProgressClass.h"
#include "TestHelpers.h"
#include "protocol/MorvaneTime.h"

#include <gtest/gtest.h>

TEST (Progress, PublishesWholePercentsAndOnlyAFinishedUploadAs100)
{
    EXPECT_EQ (ProgressClass::toPublishedValue (0.4), 0.4);
    EXPECT_EQ (ProgressClass::toPublishedValue (0.994), 0.99);
    EXPECT_EQ (ProgressClass::toPublishedValue (0.995), 0.99) << "not 1.0 while bytes remain";
    EXPECT_EQ (ProgressClass::toPublishedValue (0.999999), 0.99);
    EXPECT_EQ (ProgressClass::toPublishedValue (1.0), 1.0);
    EXPECT_EQ (ProgressClass::toPublishedValue (0.125), 0.12) << "halves go to the even percent";
    EXPECT_EQ (ProgressClass::toPublishedValue (0.135), 0.14);
    EXPECT_EQ (ProgressClass::toPublishedValue (0.004), 0.0);
    EXPECT_EQ (ProgressClass::toPublishedValue (-1.0), 0.0);
    EXPECT_EQ (ProgressClass::toPublishedValue (std::nan ("")), 0.0);
}

TEST (Progress, NotifiesOnlyOnChangeAndCoalescedCallbacksSeeTheLatestValues)
{
    ProgressClass progress;
    ChangeCounter counter;
    progress.addChangeListener (&counter);

    progress.setProgress (0.0);
    progress.setStatusText ({});
    pumpFor (30);
    EXPECT_EQ (counter.count, 0) << "nothing changed";

    progress.setProgress (0.421);
    pumpFor (30);
    EXPECT_EQ (counter.count, 1);

    progress.setProgress (0.419);
    progress.setStatusText ("");
    pumpFor (30);
    EXPECT_EQ (counter.count, 1) << "same whole percent, same text";

    progress.setStatusText ("Uploading firmware");
    progress.setProgress (0.5);
    progress.setProgress (0.6);
    pumpFor (30);
    EXPECT_EQ (counter.count, 2);
    EXPECT_EQ (progress.getProgress(), 0.6);
    EXPECT_EQ (progress.getStatusText(), "Uploading firmware");

    progress.setProgress (1.0);
    pumpFor (30);
    progress.setProgress (0.0);
    pumpFor (30);
    EXPECT_EQ (counter.count, 4) << "back to 0 after a finished upload is a change";

    progress.removeChangeListener (&counter);
}

TEST (MorvaneTimeTest, ElapsedTimeSurvivesTheCounterWrap)
{
    EXPECT_EQ (MorvaneTime::millisecondsBetween (0xFFFFFFF0u, 5u), 21u);
    EXPECT_EQ (MorvaneTime::millisecondsBetween (100u, 115u), 15u);
    EXPECT_EQ (MorvaneTime::millisecondsBetween (0xFFFFFFFFu, 0u), 1u);

    MorvaneTime time;
    const auto start = juce::Time::getMillisecondCounter();
    EXPECT_LT (time.getMillisecondsSince (start), 1000u);
}
