// What the control point reads from a renderer's documents and events, and
// what it writes for it.
#include "AvDescription.h"
#include "TraceCapture.h"

#include <gtest/gtest.h>

#include <libxml/parser.h>

#include <string>

namespace {

std::string Service(const std::string& type, const std::string& control) {
    std::string file = type;
    file[file.find(':')] = '-';
    return "<service><serviceType>urn:schemas-upnp-org:service:" + type +
           "</serviceType><serviceId>urn:upnp-org:serviceId:" + type + "</serviceId>" +
           "<SCPDURL>" + file + ".xml</SCPDURL>" + control + "<eventSubURL>/" + type +
           "/event</eventSubURL></service>";
}

// A root device holding the renderer as an embedded device, as many TVs do.
std::string Description(const std::string& avTransportControl, bool hasConnectionManager = true,
                        const std::string& urlBase = "") {
    return "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\">" + urlBase +
           "<device><deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>"
           "<friendlyName>Box</friendlyName><UDN>uuid:outer</UDN><deviceList><device>"
           "<deviceType>urn:schemas-upnp-org:device:MediaRenderer:2</deviceType>"
           "<friendlyName>Living &amp; Room</friendlyName><UDN>uuid:inner</UDN><serviceList>" +
           Service("AVTransport:2", avTransportControl) +
           Service("RenderingControl:1", "<controlURL>/rc/control</controlURL>") +
           (hasConnectionManager
                ? Service("ConnectionManager:1", "<controlURL>cm/control</controlURL>")
                : "") +
           "</serviceList></device></deviceList></device></root>";
}

TEST(AvDescriptionTest, FindsTheEmbeddedRendererAndMakesItsUrlsAbsolute) {
    AvDeviceDescription description;
    xmlDoc* document = nullptr;
    ASSERT_EQ(ParseAvDescription(Description("<controlURL>avt/control</controlURL>"),
                                 "http://10.0.0.5:8080/dev/desc.xml", &description, &document),
              AvDescriptionError::None);
    EXPECT_EQ(description.friendlyName, "Living & Room");
    EXPECT_EQ(description.udn, "uuid:inner");
    EXPECT_EQ(description.avTransport.serviceType, "urn:schemas-upnp-org:service:AVTransport:2");
    EXPECT_EQ(description.avTransport.controlUrl, "http://10.0.0.5:8080/dev/avt/control");
    EXPECT_EQ(description.avTransport.scpdUrl, "http://10.0.0.5:8080/dev/AVTransport-2.xml");
    EXPECT_EQ(description.renderingControl.controlUrl, "http://10.0.0.5:8080/rc/control");
    EXPECT_EQ(description.connectionManager.controlUrl, "http://10.0.0.5:8080/dev/cm/control");
    EXPECT_EQ(description.avTransport.eventUrl, "http://10.0.0.5:8080/AVTransport:2/event");
    ASSERT_NE(description.avTransport.element, nullptr);
    xmlFreeDoc(document);

    // URLBase wins over the location.
    ASSERT_EQ(ParseAvDescription(Description("<controlURL>avt/control</controlURL>", true,
                                             "<URLBase>http://10.0.0.6:9000/base/</URLBase>"),
                                 "http://10.0.0.5:8080/dev/desc.xml", &description, &document),
              AvDescriptionError::None);
    EXPECT_EQ(description.avTransport.controlUrl, "http://10.0.0.6:9000/base/avt/control");
    xmlFreeDoc(document);
}

TEST(AvDescriptionTest, RefusesDescriptionsItCannotUse) {
    AvDeviceDescription description;
    xmlDoc* document = nullptr;
    const std::string location = "http://10.0.0.5/d.xml";
    TraceCapture trace;
    EXPECT_EQ(ParseAvDescription(Description(""), location, &description, &document),
              AvDescriptionError::NoAvTransport);
    EXPECT_TRUE(trace.Contains("has no control URL"));
    EXPECT_EQ(ParseAvDescription(Description("<controlURL>  </controlURL>"), location, &description,
                                 &document),
              AvDescriptionError::NoAvTransport);
    EXPECT_EQ(ParseAvDescription(Description("<controlURL>ftp://x/y</controlURL>"), location,
                                 &description, &document),
              AvDescriptionError::NoAvTransport);
    EXPECT_EQ(ParseAvDescription(Description("<controlURL>/a</controlURL>", false), location,
                                 &description, &document),
              AvDescriptionError::NoConnectionManager);
    EXPECT_EQ(
        ParseAvDescription("<root><device><friendlyName>x", location, &description, &document),
        AvDescriptionError::Malformed);
    EXPECT_EQ(
        ParseAvDescription("<html><body>hello</body></html>", location, &description, &document),
        AvDescriptionError::Malformed);
    EXPECT_EQ(ParseAvDescription("", location, &description, &document),
              AvDescriptionError::Malformed);
    EXPECT_EQ(document, nullptr);
}

TEST(AvDescriptionTest, ReadsActionsAndTheVolumeRange) {
    const std::string head = "<?xml version=\"1.0\"?><scpd><actionList><action><name>Play</name>"
                             "</action><action><name>SetNextAVTransportURI</name></action>"
                             "</actionList><serviceStateTable>";
    auto volume = [&](const std::string& range) {
        return head + "<stateVariable><name>Volume</name><dataType>ui2</dataType>" + range +
               "</stateVariable></serviceStateTable></scpd>";
    };
    auto scpd = ParseServiceDescription(
        volume("<allowedValueRange><minimum>0</minimum><maximum>60</maximum></allowedValueRange>"));
    ASSERT_TRUE(scpd);
    EXPECT_TRUE(scpd->HasAction("SetNextAVTransportURI"));
    EXPECT_FALSE(scpd->HasAction("Record"));
    EXPECT_EQ(scpd->volumeMax, 60);
    // No range, or one that makes no sense: 0..100.
    EXPECT_EQ(ParseServiceDescription(volume(""))->volumeMax, 100);
    EXPECT_EQ(ParseServiceDescription(volume("<allowedValueRange><minimum>9</minimum><maximum>3"
                                             "</maximum></allowedValueRange>"))
                  ->volumeMax,
              100);
    EXPECT_EQ(ParseServiceDescription(volume("<allowedValueRange><maximum>lots</maximum>"
                                             "</allowedValueRange>"))
                  ->volumeMax,
              100);
    EXPECT_FALSE(ParseServiceDescription("<scpd><actionList>"));
    EXPECT_FALSE(ParseServiceDescription("<root/>"));
}

TEST(AvDescriptionTest, ReadsAndWritesAvTimes) {
    EXPECT_EQ(ParseAvTime("0:00:00"), 0);
    EXPECT_EQ(ParseAvTime("1:02:03"), 3723000);
    EXPECT_EQ(ParseAvTime("00:03:25.5"), 205500);
    EXPECT_EQ(ParseAvTime(" 0:00:01.250 "), 1250);
    EXPECT_EQ(ParseAvTime("0:00:01.1/4"), 1250);
    EXPECT_EQ(ParseAvTime("123:00:00"), 123LL * 3600000);
    for (const char* bad :
         {"", "NOT_IMPLEMENTED", "1:2", "0:61:00", "0:00:60", "-0:00:01", "0:00:01.", "0:00:01.x",
          "a:b:c", "0:00:01.3/2", "0:00:01.1/0", "99999999999:00:00"})
        EXPECT_EQ(ParseAvTime(bad), -1) << bad;
    EXPECT_EQ(FormatAvDuration(3723004), "1:02:03.004");
    EXPECT_EQ(FormatAvDuration(-5), "0:00:00.000");
    EXPECT_EQ(FormatAvSeekTarget(61999), "0:01:01");
    EXPECT_EQ(ParseAvTime(FormatAvDuration(36000123)), 36000123);
}

TEST(AvDescriptionTest, MatchesSinksAndTransportStates) {
    EXPECT_TRUE(SinkAccepts("http-get:*:audio/mpeg:*", "audio/mpeg"));
    EXPECT_TRUE(SinkAccepts("http-get:*:AUDIO/MPEG:DLNA.ORG_PN=MP3", "audio/mpeg"));
    EXPECT_TRUE(SinkAccepts("http-get:*:audio/*:*", "audio/flac"));
    EXPECT_TRUE(SinkAccepts("*:*:*:*", "video/mp4"));
    EXPECT_FALSE(SinkAccepts("http-get:*:audio/*:*", "video/mp4"));
    EXPECT_FALSE(SinkAccepts("rtsp-rtp-udp:*:audio/mpeg:*", "audio/mpeg"));
    EXPECT_FALSE(SinkAccepts("http-get:*:audio/mpeg3:*", "audio/mpeg"));
    EXPECT_FALSE(SinkAccepts("garbage", "audio/mpeg"));
    EXPECT_EQ(SplitProtocolList(" a:b:c:d ,,e:f:g:h,"),
              (std::vector<std::string>{"a:b:c:d", "e:f:g:h"}));
    EXPECT_EQ(ParseTransportState("PAUSED_PLAYBACK"), RendererTransport::State::Paused);
    EXPECT_EQ(ParseTransportState("NO_MEDIA_PRESENT"), RendererTransport::State::NoMedia);
    EXPECT_FALSE(ParseTransportState("DANCING"));
}

TEST(AvDescriptionTest, DescribesMediaInDidlLite) {
    RendererMedia media;
    media.uri = "http://10.0.0.1:8000/m/1?x=1&y=2";
    media.title = "Rock & <Roll>";
    media.kind = RendererMedia::Kind::Photo;
    media.mimeType = "image/jpeg";
    media.sizeBytes = 5000000000;
    media.durationMs = 3723004;
    std::string info = ProtocolInfoForMedia(media);
    EXPECT_EQ(info.rfind("http-get:*:image/jpeg:DLNA.ORG_OP=01;", 0), 0u) << info;
    std::string didl = DidlForMedia(media, info);
    xmlDoc* document = xmlReadMemory(didl.data(), static_cast<int>(didl.size()), nullptr, nullptr,
                                     XML_PARSE_NONET);
    ASSERT_NE(document, nullptr) << didl;
    xmlFreeDoc(document);
    EXPECT_NE(didl.find("Rock &amp; &lt;Roll&gt;"), std::string::npos) << didl;
    EXPECT_NE(didl.find("object.item.imageItem.photo"), std::string::npos) << didl;
    EXPECT_NE(didl.find("size=\"5000000000\""), std::string::npos) << didl;
    EXPECT_NE(didl.find("duration=\"1:02:03.004\""), std::string::npos) << didl;
    EXPECT_NE(didl.find("protocolInfo=\"" + info + "\""), std::string::npos) << didl;
    EXPECT_NE(didl.find("x=1&amp;y=2"), std::string::npos) << didl;

    media.kind = RendererMedia::Kind::Video;
    media.sizeBytes = -1;
    media.durationMs = -1;
    didl = DidlForMedia(media, ProtocolInfoForMedia(media));
    EXPECT_NE(didl.find("object.item.videoItem"), std::string::npos) << didl;
    EXPECT_EQ(didl.find("size="), std::string::npos) << didl;
    EXPECT_EQ(didl.find("duration="), std::string::npos) << didl;
}

TEST(AvDescriptionTest, ReadsTheMasterChannelFromRenderingEvents) {
    RenderingChange change;
    ASSERT_TRUE(ParseRenderingLastChange(
        "<Event xmlns=\"urn:schemas-upnp-org:metadata-1-0/RCS/\"><InstanceID val=\"1\">"
        "<Volume channel=\"Master\" val=\"99\"/></InstanceID><InstanceID val=\"0\">"
        "<Volume channel=\"LF\" val=\"3\"/><Volume channel=\"Master\" val=\"42\"/>"
        "<Mute channel=\"Master\" val=\"1\"/></InstanceID></Event>",
        &change));
    EXPECT_EQ(change.volume, 42);
    EXPECT_EQ(change.isMuted, true);

    TraceCapture trace;
    RenderingChange odd;
    EXPECT_TRUE(ParseRenderingLastChange("<Event><InstanceID val=\"0\"><Volume val=\"-4\"/>"
                                         "<Mute val=\"maybe\"/></InstanceID></Event>",
                                         &odd));
    EXPECT_FALSE(odd.volume);
    EXPECT_FALSE(odd.isMuted);
    EXPECT_TRUE(trace.Contains("unreadable Volume"));
    EXPECT_FALSE(ParseRenderingLastChange("<Event><InstanceID val=\"0\"><Volume", &odd));
}

} // namespace
