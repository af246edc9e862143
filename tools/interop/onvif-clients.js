// Public ONVIF clients against a fake device: the npm "onvif" package's camera
// session (connect, clock, device information, network interfaces read and
// set) and node-onvif's discovery. Prints one "ok NAME" or "FAIL NAME: why" line
// per step; exits non-zero when a step failed.
//
//   node onvif-clients.js session HOST PORT USER PASSWORD ADDRESS/PREFIX [https]
//   node onvif-clients.js refused HOST PORT USER WRONGPASSWORD [https]
//   node onvif-clients.js discover EXPECTED_ADDRESS...
//
// discover prints "found N last MS": the devices node-onvif listed and when the
// answer of the last of them arrived.
'use strict';

const [mode, ...args] = process.argv.slice(2);
let failed = 0;

function report(name, error, detail) {
    if (error) {
        failed++;
        console.log(`FAIL ${name}: ${error.message || error}`);
    } else {
        console.log(`ok ${name}${detail ? ' ' + detail : ''}`);
    }
}

function step(cam, name, call) {
    return new Promise((resolve) => {
        call(cam, (error, value) => {
            report(name, error, value);
            resolve(error ? null : value || true);
        });
    });
}

function camera(host, port, user, password, scheme) {
    const { Cam } = require('onvif');
    // The fake device's certificate is self-signed, as cameras' are.
    return new Cam({ hostname: host, port: Number(port), username: user, password: password, autoconnect: false,
        timeout: 10000, useSecure: scheme === 'https', secureOpts: { rejectUnauthorized: false } });
}

async function session(host, port, user, password, setting, scheme) {
    const [newAddress, prefix] = setting.split('/');
    const cam = camera(host, port, user, password, scheme);
    if (!(await step(cam, 'connect', (c, done) => c.connect((e) => done(e)))))
        return;
    await step(cam, 'getSystemDateAndTime', (c, done) => c.getSystemDateAndTime((e, date) => done(e, date && date.toISOString())));
    await step(cam, 'getDeviceInformation', (c, done) => c.getDeviceInformation((e, info) =>
        done(e || (info && info.serialNumber ? null : new Error('no serial number')), info && info.serialNumber)));
    const interfaces = await step(cam, 'getNetworkInterfaces', (c, done) => c.getNetworkInterfaces((e, list) => {
        const first = Array.isArray(list) ? list[0] : list;
        const token = first && first.$ && first.$.token;
        done(e || (token ? null : new Error('no interface token')), token);
    }));
    if (!interfaces)
        return;
    await step(cam, 'setNetworkInterfaces', (c, done) => c.setNetworkInterfaces({
        interfaceToken: interfaces,
        networkInterface: { enabled: true, IPv4: { enabled: true, DHCP: false,
            manual: { address: newAddress, prefixLength: Number(prefix) } } },
    }, (e, result) => done(e, result && JSON.stringify(result))));
}

async function refused(host, port, user, password, scheme) {
    const cam = camera(host, port, user, password, scheme);
    await new Promise((resolve) => cam.connect(() => resolve()));
    // The device is there: its clock needs no password.
    if (!(await step(cam, 'reachable', (c, done) => c.getSystemDateAndTime((e) => done(e)))))
        return;
    await new Promise((resolve) => cam.getDeviceInformation((e) => {
        report('wrong password refused', e ? null : new Error('the device took a wrong password'));
        resolve();
    }));
}

async function discover(expected) {
    const onvif = require('node-onvif');
    const started = Date.now();
    const arrived = new Map(); // host of an XAddr -> ms of its first answer
    const probe = onvif.startProbe();
    // The library hands its list over only at the end of its window: its socket tells when each answer came.
    if (onvif._udp) {
        onvif._udp.on('message', (message) => {
            const xaddrs = /XAddrs>([^<]*)</.exec(message.toString());
            for (const url of xaddrs ? xaddrs[1].trim().split(/\s+/) : []) {
                try {
                    const host = new URL(url).hostname;
                    if (!arrived.has(host))
                        arrived.set(host, Date.now() - started);
                } catch (e) {
                    // not a URL: nothing to time
                }
            }
        });
    }
    let list = [];
    try {
        list = await probe;
    } catch (e) {
        report('discovery', e);
        return;
    }
    const found = new Set();
    for (const device of list) {
        for (const url of device.xaddrs || [])
            found.add(new URL(url).hostname);
    }
    const missing = expected.filter((a) => !found.has(a));
    const last = Math.max(0, ...[...found].map((h) => arrived.get(h) || 0));
    console.log(`found ${found.size} last ${last}`);
    report('discovery', missing.length ? new Error(`missing ${missing.length}: ${missing.slice(0, 5).join(' ')}`) : null,
        `${found.size} found`);
}

(async () => {
    if (mode === 'session')
        await session(...args);
    else if (mode === 'refused')
        await refused(...args);
    else if (mode === 'discover')
        await discover(args);
    else
        report('usage', new Error('session|refused|discover'));
    process.exit(failed ? 1 : 0);
})();
