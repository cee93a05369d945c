import pytest

from conftest import doc, plc

PORTS = doc(0, 'ok', [], action='list-ports', result='listed', ports=[
    dict(name='ttyACM0', node='/dev/ttyACM0', byPath='/dev/serial/by-path/usb-0:1:1.0',
         usbLocation='1-1', plcUsb=True),
    dict(name='ttyACM1', node='/dev/ttyACM1', byPath=None, usbLocation='1-2', plcUsb=True),
    dict(name='ttyS0', node='/dev/ttyS0', byPath=None, usbLocation=None, plcUsb=False),
])
FACTS = dict(port='/dev/ttyACM0', model='VM500', mode='application', deviceId='0x3010 (VM500, VM500-AIO)',
             version='V1.2 (0x12)', fits='yes')


def identified(rc, reason, facts=None):
    return doc(rc, reason, [plc(action='identify', result='identified' if rc == 0 else 'failed',
                                reason=reason, erased=False, exitStatus=rc, facts=facts or {})],
               action='identify')


@pytest.mark.parametrize('rc, reply', [
    (0, PORTS),
    # A listing that failed is no empty host: the task fails, and nothing is identified.
    (2, doc(2, 'usage', [], action='list-ports', error='cannot read /sys/class/tty')),
], ids=['listed', 'listing-failed'])
def test_lists_without_identifying(run_module, plcfw, rc, reply):
    ended, calls = run_module('plc_info', dict(identify=rc != 0, plcfw=plcfw), [(rc, reply)])
    assert calls == [[plcfw, '--list-ports', '--json']]
    assert ended.failed is (rc != 0) and not ended.result.get('changed')
    if rc == 0:
        assert ended.result['ports'] == PORTS['ports'] and ended.result['plcs'] == []
    else:
        assert 'cannot read /sys/class/tty' in ended.result['msg']


@pytest.mark.parametrize('args, identify_argvs', [
    # Unnamed: every PLC USB device, by the name that survives a replug.
    (dict(), [['--identify', '--port', '/dev/serial/by-path/usb-0:1:1.0'],
              ['--identify', '--port', '/dev/ttyACM1']]),
    (dict(ports=['/dev/ttyS0'], model='LP4'), [['--identify', '--port', '/dev/ttyS0', '--model', 'LP4']]),
], ids=['usb-plcs', 'named'])
def test_identifies_read_only(run_module, plcfw, args, identify_argvs):
    replies = [(0, PORTS)] + [(0, identified(0, 'ok', FACTS))] * len(identify_argvs)
    ended, calls = run_module('plc_info', dict(args, identify=True, plcfw=plcfw), replies, check=True)
    assert calls[1:] == [[plcfw] + a + ['--json'] for a in identify_argvs]
    assert ended.result['changed'] is False
    assert ended.result['plcs'][0]['facts'] == FACTS


@pytest.mark.parametrize('rc, reason, fails', [
    (1, 'no-response', False),  # a PLC that does not answer is a fact about the host
    (5, 'busy', False),
    (2, 'usage', True),
    (3, 'interrupted', True),
])
def test_identify_status(run_module, plcfw, rc, reason, fails):
    reply = identified(rc, reason) if rc != 2 else doc(2, 'usage', [], action='identify', error='bad')
    ended, _ = run_module('plc_info', dict(identify=True, ports=['/dev/ttyS0'], plcfw=plcfw),
                          [(0, PORTS), (rc, reply)])
    assert ended.failed is fails
    if not fails:
        assert [(p['port'], p['rc'], p['reason']) for p in ended.result['plcs']] == [('/dev/ttyS0', rc, reason)]
