#!/usr/bin/env python3
"""Asks a UPnP AV renderer one action and prints its answer, one NAME=VALUE
per line, so that a test can see what reached the renderer itself.

    ask-renderer.py LOCATION GetTransportInfo|GetPositionInfo|GetVolume|GetMute
"""
import sys
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ET

DEVICE = "{urn:schemas-upnp-org:device-1-0}"
SERVICES = {
    "GetTransportInfo": "AVTransport",
    "GetPositionInfo": "AVTransport",
    "GetVolume": "RenderingControl",
    "GetMute": "RenderingControl",
}


def control_url(location, kind):
    with urllib.request.urlopen(location, timeout=5) as answer:
        root = ET.fromstring(answer.read())
    base = root.findtext(DEVICE + "URLBase") or location
    for service in root.iter(DEVICE + "service"):
        if (":" + kind + ":") in (service.findtext(DEVICE + "serviceType") or ""):
            return (service.findtext(DEVICE + "serviceType"),
                    urllib.parse.urljoin(base, service.findtext(DEVICE + "controlURL")))
    sys.exit("ask-renderer.py: no %s service at %s" % (kind, location))


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in SERVICES:
        sys.exit(__doc__)
    location, action = sys.argv[1], sys.argv[2]
    service_type, url = control_url(location, SERVICES[action])
    channel = "<Channel>Master</Channel>" if SERVICES[action] == "RenderingControl" else ""
    body = ('<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"'
            ' s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
            '<u:%s xmlns:u="%s"><InstanceID>0</InstanceID>%s</u:%s></s:Body></s:Envelope>'
            % (action, service_type, channel, action))
    request = urllib.request.Request(url, body.encode(), {
        "Content-Type": 'text/xml; charset="utf-8"',
        "SOAPACTION": '"%s#%s"' % (service_type, action)})
    with urllib.request.urlopen(request, timeout=5) as answer:
        envelope = ET.fromstring(answer.read())
    for element in envelope.iter():
        if element.tag.endswith("Response"):
            for value in element:
                print("%s=%s" % (value.tag.split("}")[-1], value.text or ""))


if __name__ == "__main__":
    main()
