#!/usr/bin/env python3
"""A scripted UPnP AV renderer on loopback for the control point's fault tests.

Serves a MediaRenderer description, the three service descriptions, answers
SOAP and sends GENA events, and misbehaves as told. No SSDP: the caller reads
the description address from the first line of standard output,
"LOCATION <url>". Runs until standard input closes.

Modes (any number of --mode):
  no-events            accepts subscriptions but never sends an event
  vanish-on-play       answers Play, then exits at once, closing every socket
  relative-urls        description under /dev/, relative control URLs, no URLBase
  url-base             relative control URLs resolved against a URLBase
  missing-control      AVTransport has no controlURL
  huge-description     the description exceeds 256 KiB
  malformed-description  the description is no XML
  bad-lastchange       the first AVTransport event carries malformed LastChange XML
  huge-lastchange      the first AVTransport event carries a LastChange of 1 MiB
  missing-fields       GetTransportInfo and GetPositionInfo answers lack their fields
  no-next              AVTransport offers no SetNextAVTransportURI
--fault ACTION=CODE answers ACTION with a SOAP fault of that UPnP error code.
--volume-max N sets the Volume range's maximum (default 100).
--log FILE appends one line per request ("POST Play", "SUBSCRIBE /avt/event").
"""

import argparse
import http.client
import http.server
import os
import socketserver
import sys
import threading
import time
import urllib.parse
import uuid
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

AVT = "urn:schemas-upnp-org:service:AVTransport:1"
RC = "urn:schemas-upnp-org:service:RenderingControl:1"
CM = "urn:schemas-upnp-org:service:ConnectionManager:1"

FAULT_TEXT = {
    701: "Transition not available",
    714: "Illegal MIME-type",
    716: "Resource not found",
    718: "Invalid InstanceID",
}

SINKS = ("http-get:*:audio/mpeg:*,http-get:*:audio/x-wav:*,"
         "http-get:*:image/jpeg:DLNA.ORG_PN=JPEG_LRG,http-get:*:video/*:*")


def action_xml(name, arguments):
    args = "".join(
        "<argument><name>%s</name><direction>%s</direction>"
        "<relatedStateVariable>%s</relatedStateVariable></argument>" % (a, d, v)
        for a, d, v in arguments)
    return "<action><name>%s</name><argumentList>%s</argumentList></action>" % (name, args)


def scpd(actions, variables):
    return ('<?xml version="1.0"?><scpd xmlns="urn:schemas-upnp-org:service-1-0">'
            "<specVersion><major>1</major><minor>0</minor></specVersion>"
            "<actionList>%s</actionList><serviceStateTable>%s</serviceStateTable></scpd>"
            % ("".join(actions), "".join(variables)))


def variable(name, data_type="string", events=False, extra=""):
    return ('<stateVariable sendEvents="%s"><name>%s</name><dataType>%s</dataType>%s'
            "</stateVariable>" % ("yes" if events else "no", name, data_type, extra))


class Renderer:
    def __init__(self, options):
        self.options = options
        self.modes = set(options.mode)
        self.faults = {}
        for fault in options.fault:
            action, code = fault.split("=")
            self.faults[action] = int(code)
        self.lock = threading.Lock()
        self.state = "NO_MEDIA_PRESENT"
        self.uri = ""
        self.volume = 20
        self.mute = False
        self.position = 0
        self.subscribers = {}  # sid -> (callback url, service, seq)
        self.sent_first_avt = False
        self.udn = "uuid:" + str(uuid.uuid4())
        self.prefix = "/dev/" if "relative-urls" in self.modes else "/"

    def log(self, line):
        if self.options.log:
            with open(self.options.log, "a") as out:
                out.write(line + "\n")

    # Descriptions

    def description(self, host):
        if "malformed-description" in self.modes:
            return "<?xml version=\"1.0\"?><root><device><friendlyName>broken</friendlyName"
        relative = "relative-urls" in self.modes or "url-base" in self.modes

        def link(path):
            return path if relative else "/" + path

        avt_control = "" if "missing-control" in self.modes else \
            "<controlURL>%s</controlURL>" % link("avt/control")
        services = (
            "<service><serviceType>%s</serviceType><serviceId>urn:upnp-org:serviceId:AVTransport"
            "</serviceId><SCPDURL>%s</SCPDURL>%s<eventSubURL>%s</eventSubURL></service>"
            % (AVT, link("avt.xml"), avt_control, link("avt/event")) +
            "<service><serviceType>%s</serviceType><serviceId>urn:upnp-org:serviceId:"
            "RenderingControl</serviceId><SCPDURL>%s</SCPDURL><controlURL>%s</controlURL>"
            "<eventSubURL>%s</eventSubURL></service>"
            % (RC, link("rc.xml"), link("rc/control"), link("rc/event")) +
            "<service><serviceType>%s</serviceType><serviceId>urn:upnp-org:serviceId:"
            "ConnectionManager</serviceId><SCPDURL>%s</SCPDURL><controlURL>%s</controlURL>"
            "<eventSubURL>%s</eventSubURL></service>"
            % (CM, link("cm.xml"), link("cm/control"), link("cm/event")))
        base = ("<URLBase>http://%s/base/</URLBase>" % host) if "url-base" in self.modes else ""
        padding = ""
        if "huge-description" in self.modes:
            padding = "<!-- %s -->" % ("x" * (300 * 1024))
        return ('<?xml version="1.0"?><root xmlns="urn:schemas-upnp-org:device-1-0">'
                "<specVersion><major>1</major><minor>0</minor></specVersion>%s"
                "<device><deviceType>urn:schemas-upnp-org:device:MediaRenderer:1</deviceType>"
                "<friendlyName>Scripted Renderer</friendlyName><manufacturer>Vellumo tests"
                "</manufacturer><modelName>fake</modelName><UDN>%s</UDN>%s"
                "<serviceList>%s</serviceList></device></root>"
                % (base, self.udn, padding, services))

    def avt_scpd(self):
        actions = [
            action_xml("SetAVTransportURI", [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                             ("CurrentURI", "in", "AVTransportURI"),
                                             ("CurrentURIMetaData", "in", "AVTransportURIMetaData")]),
            action_xml("Play", [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                ("Speed", "in", "TransportPlaySpeed")]),
            action_xml("Pause", [("InstanceID", "in", "A_ARG_TYPE_InstanceID")]),
            action_xml("Stop", [("InstanceID", "in", "A_ARG_TYPE_InstanceID")]),
            action_xml("Seek", [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                ("Unit", "in", "A_ARG_TYPE_SeekMode"),
                                ("Target", "in", "A_ARG_TYPE_SeekTarget")]),
            action_xml("GetTransportInfo", [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                            ("CurrentTransportState", "out", "TransportState")]),
            action_xml("GetPositionInfo", [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                           ("RelTime", "out", "RelativeTimePosition")]),
        ]
        if "no-next" not in self.modes:
            actions.append(action_xml("SetNextAVTransportURI",
                                      [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                       ("NextURI", "in", "NextAVTransportURI"),
                                       ("NextURIMetaData", "in", "NextAVTransportURIMetaData")]))
        return scpd(actions, [variable("LastChange", events=True),
                              variable("TransportState"), variable("A_ARG_TYPE_InstanceID", "ui4")])

    def rc_scpd(self):
        volume_range = ("<allowedValueRange><minimum>0</minimum><maximum>%d</maximum><step>1</step>"
                        "</allowedValueRange>" % self.options.volume_max)
        return scpd([action_xml("GetVolume", [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                              ("Channel", "in", "A_ARG_TYPE_Channel"),
                                              ("CurrentVolume", "out", "Volume")]),
                     action_xml("SetVolume", [("InstanceID", "in", "A_ARG_TYPE_InstanceID"),
                                              ("Channel", "in", "A_ARG_TYPE_Channel"),
                                              ("DesiredVolume", "in", "Volume")])],
                    [variable("LastChange", events=True), variable("Volume", "ui2", extra=volume_range),
                     variable("Mute", "boolean")])

    def cm_scpd(self):
        return scpd([action_xml("GetProtocolInfo", [("Source", "out", "SourceProtocolInfo"),
                                                    ("Sink", "out", "SinkProtocolInfo")])],
                    [variable("SourceProtocolInfo"), variable("SinkProtocolInfo")])

    # Events

    def avt_last_change(self):
        return ('<Event xmlns="urn:schemas-upnp-org:metadata-1-0/AVT/"><InstanceID val="0">'
                '<TransportState val="%s"/><AVTransportURI val="%s"/><CurrentTrackURI val="%s"/>'
                '<CurrentTrackDuration val="0:01:00.000"/></InstanceID></Event>'
                % (self.state, escape(self.uri, {'"': "&quot;"}), escape(self.uri, {'"': "&quot;"})))

    def rc_last_change(self):
        return ('<Event xmlns="urn:schemas-upnp-org:metadata-1-0/RCS/"><InstanceID val="0">'
                '<Volume channel="LF" val="3"/><Volume channel="Master" val="%d"/>'
                '<Mute channel="Master" val="%d"/></InstanceID></Event>'
                % (self.volume, 1 if self.mute else 0))

    def notify(self, service):
        if "no-events" in self.modes:
            return
        with self.lock:
            targets = [(sid, url) for sid, (url, svc, _) in self.subscribers.items() if svc == service]
            if service == "avt":
                body = self.avt_last_change()
                if not self.sent_first_avt and "bad-lastchange" in self.modes:
                    body = '<Event><InstanceID val="0"><TransportState val="PLAY'
                elif not self.sent_first_avt and "huge-lastchange" in self.modes:
                    body = ('<Event xmlns="urn:schemas-upnp-org:metadata-1-0/AVT/"><InstanceID val="0">'
                            '<TransportState val="PLAYING"/><!-- %s --></InstanceID></Event>'
                            % ("y" * (1024 * 1024)))
                self.sent_first_avt = True
            else:
                body = self.rc_last_change()
        for sid, url in targets:
            threading.Thread(target=self.send_event, args=(sid, url, body), daemon=True).start()

    def send_event(self, sid, url, last_change):
        with self.lock:
            if sid not in self.subscribers:
                return
            callback, service, seq = self.subscribers[sid]
            self.subscribers[sid] = (callback, service, seq + 1)
        body = ('<?xml version="1.0"?><e:propertyset xmlns:e="urn:schemas-upnp-org:event-1-0">'
                "<e:property><LastChange>%s</LastChange></e:property></e:propertyset>"
                % escape(last_change))
        parts = urllib.parse.urlsplit(url)
        # A control point that has not yet taken in the subscription's answer
        # refuses its first event (412): offered again for a while, so that a
        # loaded machine still sees it.
        for _ in range(25):
            try:
                connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=5)
                connection.request("NOTIFY", parts.path or "/", body.encode(), {
                    "Content-Type": 'text/xml; charset="utf-8"', "NT": "upnp:event",
                    "NTS": "upnp:propchange", "SID": sid, "SEQ": str(seq)})
                status = connection.getresponse().status
                connection.close()
            except OSError as error:
                sys.stderr.write("fake_renderer: NOTIFY to %s failed: %s\n" % (url, error))
                return
            if status != 412:
                return
            time.sleep(0.2)

    # SOAP

    def answer(self, service, action, args):
        """Returns (status, response arguments) or raises KeyError for unknown actions."""
        if action in self.faults:
            return self.faults[action], None
        events = []
        out = []
        with self.lock:
            if action == "SetAVTransportURI":
                self.uri = args.get("CurrentURI", "")
                self.state = "STOPPED"
                events.append("avt")
            elif action == "SetNextAVTransportURI":
                if "no-next" in self.modes:
                    return 401, None
            elif action == "Play":
                if not self.uri:
                    return 701, None
                self.state = "PLAYING"
                events.append("avt")
            elif action == "Pause":
                self.state = "PAUSED_PLAYBACK"
                events.append("avt")
            elif action == "Stop":
                self.state = "STOPPED"
                events.append("avt")
            elif action == "Seek":
                self.position = int(sum(float(x) * 60 ** i for i, x in
                                        enumerate(reversed(args.get("Target", "0").split(":")))))
            elif action == "GetTransportInfo":
                if "missing-fields" not in self.modes:
                    out = [("CurrentTransportState", self.state),
                           ("CurrentTransportStatus", "OK"), ("CurrentSpeed", "1")]
            elif action == "GetPositionInfo":
                if self.state == "PLAYING":
                    self.position += 1
                if "missing-fields" not in self.modes:
                    out = [("Track", "1"), ("TrackDuration", "0:01:00"), ("TrackMetaData", ""),
                           ("TrackURI", self.uri),
                           ("RelTime", "%d:%02d:%02d" % (self.position // 3600,
                                                         self.position // 60 % 60,
                                                         self.position % 60)),
                           ("AbsTime", "NOT_IMPLEMENTED"), ("RelCount", "2147483647"),
                           ("AbsCount", "2147483647")]
            elif action == "GetVolume":
                out = [("CurrentVolume", str(self.volume))]
            elif action == "SetVolume":
                self.volume = int(args.get("DesiredVolume", "0"))
                events.append("rc")
            elif action == "GetMute":
                out = [("CurrentMute", "1" if self.mute else "0")]
            elif action == "SetMute":
                self.mute = args.get("DesiredMute", "0") in ("1", "true")
                events.append("rc")
            elif action == "GetProtocolInfo":
                out = [("Source", ""), ("Sink", SINKS)]
            else:
                raise KeyError(action)
        for service_name in events:
            self.notify(service_name)
        return 200, out


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    renderer = None

    def log_message(self, *args):
        pass

    def send(self, status, body, content_type="text/xml; charset=\"utf-8\"", headers=()):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        renderer = self.renderer
        renderer.log("GET " + self.path)
        host = self.headers.get("Host", "127.0.0.1")
        if self.path in ("/description.xml", "/dev/description.xml"):
            return self.send(200, renderer.description(host))
        path = self.path
        for prefix in ("/dev/", "/base/", "/"):
            if path.startswith(prefix):
                path = path[len(prefix):]
                break
        documents = {"avt.xml": renderer.avt_scpd, "rc.xml": renderer.rc_scpd,
                     "cm.xml": renderer.cm_scpd}
        if path in documents:
            return self.send(200, documents[path]())
        self.send(404, "not found", "text/plain")

    def service_of(self):
        for name in ("avt", "rc", "cm"):
            if ("/%s/" % name) in self.path:
                return name
        return None

    def do_POST(self):
        renderer = self.renderer
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        service = self.service_of()
        soap_action = self.headers.get("SOAPACTION", "").strip('"')
        action = soap_action.split("#")[-1]
        renderer.log("POST " + action + " " + self.path)
        if service is None or not self.path.endswith("/control"):
            return self.send(404, "not found", "text/plain")
        if "relative-urls" in renderer.modes and not self.path.startswith("/dev/"):
            return self.send(404, "not found", "text/plain")
        if "url-base" in renderer.modes and not self.path.startswith("/base/"):
            return self.send(404, "not found", "text/plain")
        args = {}
        try:
            root = ET.fromstring(body)
            call = next(iter(root.find("{http://schemas.xmlsoap.org/soap/envelope/}Body")))
            for child in call:
                args[child.tag.split("}")[-1]] = child.text or ""
        except (ET.ParseError, StopIteration, TypeError):
            return self.fault(402, "Invalid Args")
        try:
            status, out = renderer.answer(service, action, args)
        except KeyError:
            return self.fault(401, "Invalid Action")
        if status != 200:
            return self.fault(status, FAULT_TEXT.get(status, "Action failed"))
        service_type = {"avt": AVT, "rc": RC, "cm": CM}[service]
        values = "".join("<%s>%s</%s>" % (k, escape(v), k) for k, v in out)
        self.send(200, '<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/'
                  'envelope/" s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
                  '<u:%sResponse xmlns:u="%s">%s</u:%sResponse></s:Body></s:Envelope>'
                  % (action, service_type, values, action))
        if action == "Play" and "vanish-on-play" in renderer.modes:
            self.wfile.flush()
            os._exit(0)

    def fault(self, code, text):
        self.send(500, '<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/'
                  'envelope/" s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
                  "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>"
                  '<detail><UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>%d'
                  "</errorCode><errorDescription>%s</errorDescription></UPnPError></detail>"
                  "</s:Fault></s:Body></s:Envelope>" % (code, escape(text)))

    def do_SUBSCRIBE(self):
        renderer = self.renderer
        renderer.log("SUBSCRIBE " + self.path)
        service = self.service_of()
        sid = self.headers.get("SID")
        if sid:
            with renderer.lock:
                known = sid in renderer.subscribers
            return self.send(200 if known else 412, "", "text/plain",
                             [("SID", sid), ("TIMEOUT", "Second-300")])
        callback = self.headers.get("CALLBACK", "").strip().lstrip("<").split(">")[0]
        if service is None or not callback:
            return self.send(412, "", "text/plain")
        sid = "uuid:" + str(uuid.uuid4())
        with renderer.lock:
            renderer.subscribers[sid] = (callback, service, 0)
        self.send(200, "", "text/plain", [("SID", sid), ("TIMEOUT", "Second-300")])
        self.wfile.flush()
        # The initial event goes out once the subscription is answered.
        threading.Timer(0.05, renderer.notify, args=(service,)).start()

    def do_UNSUBSCRIBE(self):
        renderer = self.renderer
        renderer.log("UNSUBSCRIBE " + self.path)
        with renderer.lock:
            renderer.subscribers.pop(self.headers.get("SID", ""), None)
        self.send(200, "", "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A control point that gives up on a request closes its connection.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mode", action="append", default=[])
    parser.add_argument("--fault", action="append", default=[])
    parser.add_argument("--volume-max", type=int, default=100)
    parser.add_argument("--log", default="")
    options = parser.parse_args()
    Handler.renderer = Renderer(options)
    server = Server(("127.0.0.1", 0), Handler)
    port = server.server_address[1]
    prefix = "/dev/" if "relative-urls" in options.mode else "/"
    print("LOCATION http://127.0.0.1:%d%sdescription.xml" % (port, prefix), flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # Runs until the caller's end of standard input closes.
    try:
        while sys.stdin.read(1):
            pass
    except KeyboardInterrupt:
        pass
    os._exit(0)


if __name__ == "__main__":
    main()
