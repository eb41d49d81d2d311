#include "midi/MidiInterfaceClass.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
struct LinkFixture
{
    explicit LinkFixture (juce::StringArray names)
    {
        auto directory = std::make_unique<FakePortDirectory> (names, log);
        ports = directory.get();
        link = std::make_unique<MidiInterfaceClass> (std::move (directory));
        link->addChangeListener (&changes);
    }

    ~LinkFixture() { link->removeChangeListener (&changes); }

    /** Lets the queued selector notification and change messages arrive. */
    void settle() { pumpFor (60); }

    juce::ComboBox& selector() { return link->getOutputSelector(); }

    std::shared_ptr<PortLog> log = std::make_shared<PortLog>();
    FakePortDirectory* ports = nullptr;
    std::unique_ptr<MidiInterfaceClass> link;
    ChangeCounter changes;
};

std::vector<juce::String> events (std::initializer_list<const char*> list)
{
    std::vector<juce::String> result;
    for (auto* e : list)
        result.push_back (e);
    return result;
}
} // namespace

TEST (MidiInterface, ListsPortsWithTheirIdsAndDisconnectedLast)
{
    {
        LinkFixture none ({});
        EXPECT_EQ (none.selector().getNumItems(), 1);
        EXPECT_EQ (none.selector().getItemText (0), "(Disconnected)");
        EXPECT_EQ (none.selector().getItemId (0), 1);
        EXPECT_EQ (none.selector().getRootMenu()->getNumItems(), 1) << "no separator without ports";
        EXPECT_EQ (none.link->getPreferredHeight(), 50);
        none.settle();
        EXPECT_FALSE (none.link->isReady());
    }

    LinkFixture two ({ "A", "B" });
    EXPECT_EQ (two.selector().getName(), "Output Selector");
    EXPECT_EQ (two.selector().findColour (juce::ComboBox::buttonColourId), juce::Colours::white);
    EXPECT_EQ (two.link->getOutputLabel().getText(), "Select an output device:");
    EXPECT_FALSE (two.link->getOutputLabel().isAttachedOnLeft());

    ASSERT_EQ (two.selector().getNumItems(), 3);
    EXPECT_EQ (two.selector().getItemText (0), "(Disconnected)");
    EXPECT_EQ (two.selector().getItemId (0), 3);
    EXPECT_EQ (two.selector().getItemText (1), "A");
    EXPECT_EQ (two.selector().getItemId (1), 1);
    EXPECT_EQ (two.selector().getItemId (2), 2);
    EXPECT_EQ (two.selector().getSelectedId(), 3);

    // The initial "(Disconnected)" is handled like a choice: one change
    // message, no port touched.
    two.settle();
    EXPECT_EQ (two.changes.count, 1);
    EXPECT_FALSE (two.link->isReady());
    EXPECT_TRUE (two.log->getEvents().empty());
}

TEST (MidiInterface, UnnamedPortGetsNoEntryAndTheOthersKeepTheirPositions)
{
    LinkFixture f ({ "A", "", "C" });
    ASSERT_EQ (f.selector().getNumItems(), 3);
    EXPECT_EQ (f.selector().getItemText (2), "C");
    EXPECT_EQ (f.selector().getItemId (2), 3);
    f.settle();

    f.selector().setSelectedId (3);
    f.settle();
    EXPECT_EQ (f.log->getEvents(), events ({ "request 2", "open 2" }));
}

TEST (MidiInterface, ChoosingPortsOpensThemInTurnAndDisconnectedCloses)
{
    LinkFixture f ({ "A", "B" });
    f.settle();
    f.changes.count = 0;

    f.selector().setSelectedId (1);
    f.settle();
    EXPECT_TRUE (f.link->isReady());
    EXPECT_EQ (f.changes.count, 1);

    f.selector().setSelectedId (2);
    f.settle();
    EXPECT_EQ (f.changes.count, 2);

    // Choosing the entry already shown does nothing at all.
    f.selector().setSelectedId (2);
    f.settle();
    EXPECT_EQ (f.changes.count, 2);

    f.selector().setSelectedId (3);
    f.settle();
    EXPECT_FALSE (f.link->isReady());
    EXPECT_EQ (f.changes.count, 3);

    EXPECT_EQ (f.log->getEvents(), events ({ "request 0", "open 0", "close 0", "request 1", "open 1", "close 1" }));
}

TEST (MidiInterface, PortThatFailsToOpenIsReportedOnceAndTheListShowsDisconnected)
{
    LinkFixture f ({ "A", "Busy", "Broken" });
    f.ports->openProblems["Busy"] = OpenProblem::busy;
    f.ports->failingPositions.add (2);
    f.settle();
    f.changes.count = 0;
    EXPECT_EQ (f.link->takeOpenFailure().problem, OpenProblem::none);

    f.selector().setSelectedId (2);
    f.settle();
    EXPECT_FALSE (f.link->isReady());
    EXPECT_EQ (f.changes.count, 1);
    EXPECT_EQ (f.selector().getText(), "(Disconnected)") << "the list must not claim a port that is not open";

    const auto failure = f.link->takeOpenFailure();
    EXPECT_EQ (failure.problem, OpenProblem::busy);
    EXPECT_EQ (failure.portName, "Busy");
    EXPECT_EQ (f.link->takeOpenFailure().problem, OpenProblem::none) << "told once";

    // Choosing it again tries again: the list no longer shows it as chosen.
    f.selector().setSelectedId (2);
    f.settle();
    EXPECT_EQ (f.link->takeOpenFailure().problem, OpenProblem::busy);

    f.selector().setSelectedId (3);
    f.settle();
    EXPECT_EQ (f.link->takeOpenFailure().problem, OpenProblem::failed);

    // A port that opens clears what an earlier one left.
    f.selector().setSelectedId (2);
    f.settle();
    f.selector().setSelectedId (1);
    f.settle();
    EXPECT_TRUE (f.link->isReady());
    EXPECT_EQ (f.link->takeOpenFailure().problem, OpenProblem::none);
}

TEST (MidiInterface, ListFollowsPortsThatComeAndGoAndKeepsTheOpenOne)
{
    LinkFixture f ({ "Through", "Pedal" });
    f.settle();
    f.selector().setSelectedId (2);
    f.settle();
    ASSERT_TRUE (f.link->isReady());
    const auto pedal = f.ports->identifierOf ("Pedal");

    // A port listed before the open one: ids follow the new order, the pedal stays open.
    f.ports->setPorts ({ "Synth", "Through", "Pedal" });
    f.changes.count = 0;
    ASSERT_TRUE (pumpUntil ([&] { return f.selector().getNumItems() == 4; }, 2000));
    EXPECT_EQ (f.selector().getItemText (0), "(Disconnected)");
    EXPECT_EQ (f.selector().getItemId (0), 4);
    EXPECT_EQ (f.selector().getSelectedId(), 3);
    EXPECT_EQ (f.selector().getText(), "Pedal");
    EXPECT_TRUE (f.link->isReady());
    f.settle();
    EXPECT_GE (f.changes.count, 1);
    EXPECT_EQ (f.ports->identifierOf ("Pedal"), pedal);
    EXPECT_EQ (f.log->getEvents(), events ({ "request 1", "open 1" })) << "never reopened";

    // The open port goes away: closed, not ready, and the list says so.
    f.ports->setPorts ({ "Synth", "Through" });
    ASSERT_TRUE (pumpUntil ([&] { return f.selector().getNumItems() == 3; }, 2000));
    EXPECT_FALSE (f.link->isReady());
    EXPECT_EQ (f.selector().getText(), "(Disconnected)");
    EXPECT_EQ (f.selector().getSelectedId(), 3);
    EXPECT_EQ (f.log->openPorts, 0);

    // It comes back as a new device: listed again, and it opens.
    f.ports->setPorts ({ "Synth", "Through", "Pedal" });
    ASSERT_TRUE (pumpUntil ([&] { return f.selector().getNumItems() == 4; }, 2000));
    EXPECT_NE (f.ports->identifierOf ("Pedal"), pedal);
    f.selector().setSelectedId (3);
    f.settle();
    EXPECT_TRUE (f.link->isReady());
}

TEST (MidiInterface, ListStaysAsItIsWhileTheLinkIsDisabled)
{
    LinkFixture f ({ "Pedal" });
    f.settle();
    f.selector().setSelectedId (1);
    f.settle();

    // An upload keeps the link disabled; its port and ids must not change under it.
    f.link->setEnabled (false);
    f.ports->setPorts ({ "Synth" });
    const auto scans = f.ports->getScanCount();
    pumpFor (3 * MidiInterfaceClass::listRefreshIntervalMs);
    EXPECT_EQ (f.ports->getScanCount(), scans);
    EXPECT_TRUE (f.link->isReady());
    EXPECT_EQ (f.selector().getText(), "Pedal");

    f.link->setEnabled (true);
    ASSERT_TRUE (pumpUntil ([&] { return f.selector().getText() == "(Disconnected)"; }, 2000));
    EXPECT_FALSE (f.link->isReady());
}

TEST (MidiInterface, AFailedSendClosesTheDeadPortAtOnce)
{
    LinkFixture f ({ "A", "Pedal" });
    f.settle();
    f.selector().setSelectedId (2);
    f.settle();
    f.changes.count = 0;

    const juce::uint8 message[] = { 0xF0, 0x01, 0xF7 };
    EXPECT_EQ (f.link->sendMessage (message, 3), InterfaceBaseClass::sendOk);

    f.log->sendsFail = true;
    EXPECT_EQ (f.link->sendMessage (message, 3), InterfaceBaseClass::sendFailed);
    EXPECT_FALSE (f.link->isReady()) << "not ready from the failure on, before the message thread runs";
    EXPECT_EQ (f.link->sendMessage (message, 3), InterfaceBaseClass::sendFailed) << "the dead port is not used again";

    f.settle();
    EXPECT_EQ (f.log->openPorts, 0);
    EXPECT_EQ (f.selector().getText(), "(Disconnected)");
    EXPECT_EQ (f.changes.count, 1);
    EXPECT_EQ (f.log->getEvents(), events ({ "request 1", "open 1", "send 1 3", "close 1" }));
}

TEST (MidiInterface, SelectOutputOpensAtOnceAndAgainWhenItsNotificationArrives)
{
    LinkFixture f ({ "A", "B" });
    f.settle();
    f.changes.count = 0;

    f.link->selectOutput (2);
    EXPECT_TRUE (f.link->isReady()) << "open before the message loop runs";
    EXPECT_EQ (f.selector().getText(), "B");

    f.settle();
    EXPECT_TRUE (f.link->isReady());
    EXPECT_GE (f.changes.count, 1);
    EXPECT_LE (f.changes.count, 2);
    EXPECT_EQ (f.log->getEvents(), events ({ "request 1", "open 1", "close 1", "request 1", "open 1" }));

    f.link->selectOutput (3);
    f.settle();
    EXPECT_FALSE (f.link->isReady());
    EXPECT_EQ (f.selector().getText(), "(Disconnected)");
    EXPECT_EQ (f.log->openPorts, 0);
}

TEST (MidiInterface, IdWithoutAnEntryNeverOpensAPort)
{
    LinkFixture f ({ "A", "B" });
    f.settle();
    f.link->selectOutput (1);
    f.settle();
    ASSERT_TRUE (f.link->isReady());
    f.changes.count = 0;

    f.link->selectOutput (7);
    EXPECT_FALSE (f.link->isReady());
    f.settle();

    EXPECT_EQ (f.selector().getSelectedId(), 0);
    EXPECT_FALSE (f.link->isReady());
    EXPECT_GE (f.changes.count, 1);

    for (const auto& e : f.log->getEvents())
        EXPECT_FALSE (e.startsWith ("request -")) << e;
}

TEST (MidiInterface, SendPassesTheBytesUnchangedAndNothingWhileDisconnected)
{
    LinkFixture f ({ "A" });
    f.settle();

    const auto message = makeImage ({ 599 });
    EXPECT_EQ (f.link->sendMessage (message.data(), (int) message.size()), InterfaceBaseClass::sendOk);
    EXPECT_TRUE (f.log->getMessages().empty());

    f.link->selectOutput (1);
    f.settle();
    EXPECT_EQ (f.link->sendMessage (message.data(), (int) message.size()), InterfaceBaseClass::sendOk);
    ASSERT_EQ (f.log->getMessages().size(), 1u);
    EXPECT_EQ (f.log->getMessages()[0], message);

    f.ports->failSendsAfter = 0;
    f.selector().setSelectedId (2);
    f.settle();
    f.selector().setSelectedId (1);
    f.settle();
    EXPECT_EQ (f.link->sendMessage (message.data(), (int) message.size()), InterfaceBaseClass::sendFailed);
}

// The port may be swapped on the message thread while the worker sends; the
// link's lock must keep a port alive for as long as a send uses it.
TEST (MidiInterface, PortSwapsRacingASendStreamAreSafe)
{
    LinkFixture f ({ "A", "B" });
    f.settle();
    f.link->selectOutput (1);
    f.settle();

    const auto message = makeImage ({ 64 });
    std::atomic<bool> stop { false };
    std::atomic<int> sent { 0 };

    std::thread sender (
        [&]
        {
            while (! stop)
            {
                f.link->sendMessage (message.data(), (int) message.size());
                ++sent;
            }
        });

    while (sent < 1)
        std::this_thread::yield();

    for (int i = 0; i < 300 || sent < 2000; ++i)
        f.link->selectOutput (1 + (i % 3));

    stop = true;
    sender.join();
    f.settle();

    EXPECT_FALSE (f.log->getMessages().empty());
    for (const auto& m : f.log->getMessages())
        ASSERT_EQ (m, message);
}
