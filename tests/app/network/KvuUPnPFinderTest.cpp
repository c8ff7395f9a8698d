#include "network/KvuUPnPFinder.h"
#include "AnnouncedDevice.h"
#include "BoxAnnouncer.h"
#include "GLibWait.h"
#include "PrivateNetwork.h"
#include "TraceCapture.h"
#include "network/HostFromLocation.h"

#include <gtest/gtest.h>
#include <libgupnp/gupnp.h>

// After GLib's headers: Qt's keyword macros would break them.
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

namespace {

class RecordingObserver : public KvuUPnPFinderObserver {
public:
    void DeviceFound(const std::string& location, const std::string& udn,
                     const std::string& friendlyName, const std::string& deviceType) override {
        namesByHost[HostFromLocation(location)] = friendlyName;
        udns.push_back(udn);
        deviceTypes.push_back(deviceType);
        ++foundCount;
        if (onFound) {
            onFound();
        }
    }
    void SearchCompleted() override {
        ++completedCount;
        if (onCompleted) {
            onCompleted();
        }
    }
    void SearchFailed(const std::string& detail) override { failures.push_back(detail); }

    std::map<std::string, std::string> namesByHost;
    std::vector<std::string> udns;
    std::vector<std::string> deviceTypes;
    int foundCount = 0;
    int completedCount = 0;
    std::vector<std::string> failures;
    std::function<void()> onFound;
    std::function<void()> onCompleted;
};

class KvuUPnPFinderTest : public testing::Test {
protected:
    void SetUp() override {
        if (!IsInPrivateNetwork()) {
            GTEST_SKIP() << "needs a private network namespace (root)";
        }
    }

    // Searches on loopback until the first search window has passed.
    void SearchOnce() {
        finder.AddObserver(&observer);
        ASSERT_TRUE(finder.StartSearch());
        ASSERT_TRUE(RunMainContextUntil([&] { return observer.completedCount > 0; }));
    }

    KvuUPnPFinder finder{"lo"};
    RecordingObserver observer;
};

// Run by Qt's event loop, as in the application.
TEST_F(KvuUPnPFinderTest, FindsTwoBoxesWithTheirNamesInsideQtsEventLoop) {
    BoxAnnouncer first("lo", "Living Room & Box", "127.0.0.2");
    BoxAnnouncer second("lo", "Bedroom", "127.0.0.3");
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    QEventLoop loop;
    observer.onCompleted = [&] { loop.quit(); };
    QTimer::singleShot(std::chrono::seconds(30), &loop, [&] { loop.exit(1); });
    finder.AddObserver(&observer);
    ASSERT_TRUE(finder.StartSearch());
    ASSERT_EQ(loop.exec(), 0) << "the search never completed";
    EXPECT_EQ(observer.namesByHost["127.0.0.2"], "Living Room & Box");
    EXPECT_EQ(observer.namesByHost["127.0.0.3"], "Bedroom");
    EXPECT_EQ(observer.namesByHost.size(), 2u);
    EXPECT_EQ(observer.deviceTypes.front(), KvuUPnPFinder::kDeviceType);
    EXPECT_EQ(observer.udns.front().rfind("uuid:", 0), 0u);
    EXPECT_EQ(observer.completedCount, 1);
    EXPECT_TRUE(observer.failures.empty());
}

// A search replaced by a second StartSearch, and one ended by StopSearch,
// never complete: once another finder's search is over, only one did.
TEST_F(KvuUPnPFinderTest, ReplacedOrStoppedSearchesStaySilent) {
    BoxAnnouncer box("lo", "Hall", "127.0.0.1");
    ASSERT_TRUE(box.Start());
    finder.AddObserver(&observer);
    ASSERT_TRUE(finder.StartSearch());
    ASSERT_TRUE(finder.StartSearch());
    ASSERT_TRUE(RunMainContextUntil([&] { return observer.completedCount > 0; }));
    ASSERT_TRUE(finder.StartSearch());
    finder.StopSearch();

    KvuUPnPFinder later("lo");
    RecordingObserver laterObserver;
    later.AddObserver(&laterObserver);
    ASSERT_TRUE(later.StartSearch());
    ASSERT_TRUE(RunMainContextUntil([&] { return laterObserver.completedCount > 0; }));
    EXPECT_EQ(observer.completedCount, 1);
    EXPECT_EQ(observer.foundCount, 1);
    EXPECT_EQ(laterObserver.namesByHost["127.0.0.1"], "Hall");
}

// The observer restarts the search from inside DeviceFound, which ends the
// search object that is delivering the notification.
TEST_F(KvuUPnPFinderTest, ObserverMayRestartTheSearchFromItsNotification) {
    BoxAnnouncer box("lo", "Hall", "127.0.0.1");
    ASSERT_TRUE(box.Start());
    observer.onFound = [&] {
        if (observer.foundCount == 1) {
            finder.StartSearch();
        }
    };
    SearchOnce();
    EXPECT_EQ(observer.foundCount, 2);
    EXPECT_EQ(observer.completedCount, 1);
}

// Without an interface the finder searches every one the network monitor
// reports: a Box behind a veth pair of the test's namespace and one on
// loopback are both found.
TEST_F(KvuUPnPFinderTest, EveryInterfaceIsSearchedByDefault) {
    if (std::system("ip link show vtest0 >/dev/null 2>&1 || "
                    "(ip link add vtest0 type veth peer name vtest1 && "
                    "ip addr add 10.99.0.1/24 dev vtest0 && ip addr add 10.99.0.2/24 dev vtest1 && "
                    "ip link set vtest0 up && ip link set vtest1 up)") != 0) {
        GTEST_SKIP() << "cannot make a veth pair";
    }
    BoxAnnouncer behindVeth("vtest1", "Veth Box", "10.99.0.2");
    BoxAnnouncer onLoopback("lo", "Loopback Box", "127.0.0.1");
    ASSERT_TRUE(behindVeth.Start());
    ASSERT_TRUE(onLoopback.Start());
    KvuUPnPFinder everywhere;
    everywhere.AddObserver(&observer);
    ASSERT_TRUE(everywhere.StartSearch());
    ASSERT_TRUE(RunMainContextUntil([&] { return observer.completedCount > 0; }));
    EXPECT_EQ(observer.namesByHost["10.99.0.2"], "Veth Box");
    EXPECT_EQ(observer.namesByHost["127.0.0.1"], "Loopback Box");
}

TEST_F(KvuUPnPFinderTest, UnknownInterfaceFailsAndSaysSo) {
    KvuUPnPFinder nowhere("no-such-if0");
    nowhere.AddObserver(&observer);
    EXPECT_FALSE(nowhere.StartSearch());
    ASSERT_TRUE(RunMainContextUntil([&] { return !observer.failures.empty(); }));
    EXPECT_FALSE(observer.failures.front().empty());
    EXPECT_EQ(observer.completedCount, 0);
}

// Devices that answer the search but whose description is missing, garbage,
// without a friendly name or behind a location without "://" are not
// reported; the well-formed box beside them is.
TEST_F(KvuUPnPFinderTest, BrokenDevicesAreSkipped) {
    BoxAnnouncer box("lo", "Good Box", "127.0.0.1");
    ASSERT_TRUE(box.Start());

    GError* error = nullptr;
    GInetAddress* address = g_inet_address_new_from_string("127.0.0.4");
    GUPnPContext* context = gupnp_context_new_full("lo", address, 0, GSSDP_UDA_VERSION_1_0, &error);
    g_object_unref(address);
    ASSERT_NE(context, nullptr) << error->message;
    const std::string folder = testing::TempDir();
    const std::map<std::string, std::string> documents = {
        {"garbage.xml", std::string("\x01\xff<root><<<\0junk", 16)},
        {"nameless.xml", "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
                         "<device><deviceType>urn:schemas-upnp-org:device:MediaRenderer:1"
                         "</deviceType><UDN>uuid:nameless</UDN></device></root>"},
    };
    std::string base = "http://127.0.0.4:" + std::to_string(gupnp_context_get_port(context));
    for (const auto& [name, text] : documents) {
        std::ofstream(folder + name) << text;
        gupnp_context_host_path(context, (folder + name).c_str(), ("/" + name).c_str());
    }
    GSSDPResourceGroup* group = gssdp_resource_group_new(GSSDP_CLIENT(context));
    const std::pair<const char*, std::string> resources[] = {
        {"uuid:garbage", base + "/garbage.xml"},
        {"uuid:nameless", base + "/nameless.xml"},
        {"uuid:missing", base + "/missing.xml"},
        {"uuid:closed", "http://127.0.0.4:1/description.xml"},
        {"uuid:noscheme", "127.0.0.4/description.xml"},
    };
    for (const auto& [usn, location] : resources) {
        const std::string fullUsn = std::string(usn) + "::" + KvuUPnPFinder::kDeviceType;
        gssdp_resource_group_add_resource_simple(group, KvuUPnPFinder::kDeviceType, fullUsn.c_str(),
                                                 location.c_str());
    }
    gssdp_resource_group_set_available(group, TRUE);

    SearchOnce();
    EXPECT_EQ(observer.namesByHost.size(), 1u);
    EXPECT_EQ(observer.namesByHost["127.0.0.1"], "Good Box");

    gssdp_resource_group_set_available(group, FALSE);
    g_object_unref(group);
    g_object_unref(context);
}

// The service types of the root device and of its embedded devices come in
// document order; a description nesting devices deeper than the walk goes,
// or listing more services than kept, gives the bounded part (traced).
TEST_F(KvuUPnPFinderTest, ReportsTheServiceTypesOfTheDeviceAndItsEmbeddedDevices) {
    TraceCapture trace;
    const std::string transport = "urn:schemas-upnp-org:service:AVTransport:1";
    const std::string rendering = "urn:schemas-upnp-org:service:RenderingControl:2";
    const std::string connection = "urn:schemas-upnp-org:service:ConnectionManager:1";
    const auto device = [](const std::string& name, const std::string& content) {
        return "<device><deviceType>urn:schemas-upnp-org:device:MediaRenderer:1"
               "</deviceType><friendlyName>" +
               name + "</friendlyName><UDN>uuid:" + name + "</UDN>" + content + "</device>";
    };
    const auto embedded = [&](const std::string& name, const std::string& content) {
        return "<deviceList>" + device(name, content) + "</deviceList>";
    };
    const AnnouncedDevice renderer(
        "127.0.0.2", "<friendlyName>TV</friendlyName>" +
                         AnnouncedDevice::ServiceListXml({connection, rendering}) + "<deviceList>" +
                         device("inner", AnnouncedDevice::ServiceListXml({transport})) +
                         device("second", AnnouncedDevice::ServiceListXml({"urn:x:service:Z:1"})) +
                         "</deviceList>");
    const AnnouncedDevice plain("127.0.0.3", "<friendlyName>Plain</friendlyName>");
    // Seven levels, each with one service of its own number.
    std::string nested;
    for (int level = 6; level >= 1; --level)
        nested = embedded(
            "level" + std::to_string(level),
            AnnouncedDevice::ServiceListXml({"urn:x:service:L" + std::to_string(level) + ":1"}) +
                nested);
    const AnnouncedDevice deep(
        "127.0.0.4", "<friendlyName>Deep</friendlyName>" +
                         AnnouncedDevice::ServiceListXml({"urn:x:service:L0:1"}) + nested);
    std::vector<std::string> many;
    for (int i = 0; i < 70; ++i)
        many.push_back("urn:x:service:S" + std::to_string(i) + ":1");
    const AnnouncedDevice crowded(
        "127.0.0.1", "<friendlyName>Crowded</friendlyName>" +
                         AnnouncedDevice::ServiceListXml(many) +
                         embedded("more", AnnouncedDevice::ServiceListXml({transport})));
    ASSERT_TRUE(renderer.IsAnnounced() && plain.IsAnnounced() && deep.IsAnnounced() &&
                crowded.IsAnnounced());

    std::map<std::string, std::vector<std::string>> typesByName;
    struct : RecordingObserver {
        void DeviceDescribed(const UPnPDeviceDescription& device) override {
            (*types)[device.friendlyName] = device.serviceTypes;
            RecordingObserver::DeviceDescribed(device);
        }
        std::map<std::string, std::vector<std::string>>* types = nullptr;
    } describing;
    describing.types = &typesByName;
    finder.AddObserver(&describing);
    // Searched again while one is missing: tests side by side on loopback
    // may flood it until an answer is dropped.
    for (int search = 0; search < 5 && typesByName.size() < 4; ++search) {
        ASSERT_TRUE(finder.StartSearch());
        const int completed = describing.completedCount;
        RunMainContextUntil(
            [&] { return typesByName.size() == 4 || describing.completedCount > completed; });
    }
    std::string described;
    for (const auto& [name, types] : typesByName)
        described += name + " ";
    ASSERT_EQ(typesByName.size(), 4u) << described;

    EXPECT_EQ(typesByName["TV"],
              (std::vector<std::string>{connection, rendering, transport, "urn:x:service:Z:1"}));
    ASSERT_TRUE(typesByName.contains("Plain"));
    EXPECT_TRUE(typesByName["Plain"].empty());
    EXPECT_EQ(
        typesByName["Deep"],
        (std::vector<std::string>{"urn:x:service:L0:1", "urn:x:service:L1:1", "urn:x:service:L2:1",
                                  "urn:x:service:L3:1", "urn:x:service:L4:1"}))
        << "the root and four levels below it";
    const std::vector<std::string> kept(many.begin(),
                                        many.begin() + UPnPDeviceDescription::kMaxServiceTypes);
    EXPECT_EQ(typesByName["Crowded"], kept);
    EXPECT_TRUE(trace.Contains("more than 64 services"));
}

// A flood of devices stops at the finder's bound: the descriptions of the
// devices beyond it are not reported, and the trace says so. The page named
// by a description comes made absolute against its base.
TEST_F(KvuUPnPFinderTest, ReportsAtMostItsBoundOfDevicesWithTheirPages) {
    TraceCapture trace;
    std::vector<std::unique_ptr<AnnouncedDevice>> devices;
    for (const char* host : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
        devices.push_back(std::make_unique<AnnouncedDevice>(
            host, "<friendlyName>Box</friendlyName><presentationURL>setup/</presentationURL>"));
    std::vector<std::string> pages;
    struct : RecordingObserver {
        void DeviceDescribed(const UPnPDeviceDescription& device) override {
            (*pages).push_back(device.presentationUrl);
            RecordingObserver::DeviceDescribed(device);
        }
        std::vector<std::string>* pages = nullptr;
    } describing;
    describing.pages = &pages;
    KvuUPnPFinder bounded("lo", 2);
    bounded.AddObserver(&describing);
    ASSERT_TRUE(bounded.StartSearch());
    ASSERT_TRUE(RunMainContextUntil(
        [&] { return describing.completedCount > 0 && describing.foundCount >= 2; }));
    EXPECT_EQ(describing.foundCount, 2);
    EXPECT_TRUE(trace.Contains("no more descriptions"));
    std::vector<std::string> offered;
    for (const auto& device : devices)
        offered.push_back(device->Base() + "/setup/");
    ASSERT_EQ(pages.size(), 2u);
    for (const std::string& page : pages)
        EXPECT_NE(std::find(offered.begin(), offered.end(), page), offered.end()) << page;
}

// Observer bookkeeping, checked through the notifications it leads to; one
// observer removes itself while notified without the others being skipped.
TEST(KvuUPnPFinderObservers, AddTwiceKeepsOneRemoveWorksMidNotification) {
    KvuUPnPFinder finder("lo");
    RecordingObserver leaving;
    RecordingObserver staying;
    EXPECT_FALSE(finder.AddObserver(nullptr));
    EXPECT_TRUE(finder.AddObserver(&leaving));
    EXPECT_TRUE(finder.AddObserver(&leaving));
    EXPECT_TRUE(finder.AddObserver(&staying));
    leaving.onFound = [&] { EXPECT_TRUE(finder.RemoveObserver(&leaving)); };
    const UPnPDeviceDescription box{"http://10.1.1.1:80/d.xml", "", "Box", "", "", {}};
    finder.NotifyDeviceFound(box);
    finder.NotifyDeviceFound(box);
    EXPECT_EQ(leaving.foundCount, 1);
    EXPECT_EQ(staying.foundCount, 2);
    EXPECT_EQ(staying.namesByHost["10.1.1.1"], "Box");
    EXPECT_FALSE(finder.RemoveObserver(&leaving));
    EXPECT_FALSE(finder.RemoveObserver(nullptr));
}

} // namespace
