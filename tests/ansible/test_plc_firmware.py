import pytest

from conftest import doc, plc

OK = doc(0, 'ok', [plc('pts/1'), plc('pts/2')])
READY = doc(0, 'ok', [plc('pts/1', result='ready', erased=False, caption='', message='')],
            action='check', result='ready')


@pytest.mark.parametrize('args, check, expected', [
    (dict(ports=['/dev/a', '/dev/b'], model='LP4', image='/srv/lp4.bin', log='/var/log/b.jsonl'), False,
     ['--yes', '--model', 'LP4', '--image', '/srv/lp4.bin', '--log', '/var/log/b.jsonl',
      '--port', '/dev/a', '--port', '/dev/b']),
    # Check mode changes nothing on the host: no record is appended.
    (dict(ports=['/dev/a'], model='LP4', image='/srv/lp4.bin', log='/var/log/b.jsonl'), True,
     ['--yes', '--check', '--model', 'LP4', '--image', '/srv/lp4.bin', '--port', '/dev/a']),
    (dict(ports='all'), False, ['--yes', '--all']),
    (dict(ports=['all']), True, ['--yes', '--check', '--all']),
    # Nothing named: plcfw's own choice, with the built-in image.
    (dict(), False, ['--yes']),
], ids=['burn', 'check', 'all', 'all-check', 'defaults'])
def test_argument_vector(run_module, plcfw, args, check, expected):
    reply = READY if check else OK
    _, calls = run_module('plc_firmware', dict(args, plcfw=plcfw), [(0, reply)], check)
    assert calls == [[plcfw] + expected + ['--json']]


@pytest.mark.parametrize('rc, reply, check, changed, msg_has', [
    (0, OK, False, True, []),
    (0, READY, True, True, []),
    (4, doc(4, 'transfer', [plc('pts/1'), plc('pts/2', caption='ERROR', message='Firmware update is FAILED',
                                           reason='transfer', result='failed', exitStatus=4,
                                           failedBlock=3, blocksAcknowledged=2, blocks=40)]),
     False, True, ['pts/2: ERROR: Firmware update is FAILED (reason transfer, exit status 4)',
                   'switch it off and on']),
    (1, doc(1, 'no-response', [plc(caption='ERROR', message='NO RESPONSE @ State 1', reason='no-response',
                                   erased=False, result='failed', exitStatus=1)]),
     False, False, ['NO RESPONSE @ State 1 (reason no-response', 'not touched']),
    (1, doc(1, 'run-mode', [plc(caption='ERROR', message='PLC in RUN MODE', reason='run-mode',
                                erased=False, result='failed', exitStatus=1)], action='check'),
     True, False, ['PLC in RUN MODE (reason run-mode']),
    (5, doc(5, 'busy', [plc(caption='ERROR', message='CANNOT open pts/1 Port!!!', reason='busy',
                            erased=False, result='failed', exitStatus=5)]),
     False, False, ['reason busy', 'rc == 5']),
    (3, doc(3, 'interrupted', [plc(caption='WARNING', message='interrupted during the update', erased=True,
                                   reason='interrupted', result='interrupted', exitStatus=3)]),
     False, True, ['reason interrupted']),
    (2, doc(2, 'usage', [], error='unknown model \'LM5\'; did you mean LM4?'),
     False, False, ["plcfw: unknown model 'LM5'; did you mean LM4? (reason usage)"]),
], ids=['burnt', 'ready', 'erased-one-of-two', 'no-response', 'check-run-mode', 'held', 'interrupted',
        'usage'])
def test_outcome(run_module, plcfw, rc, reply, check, changed, msg_has):
    ended, _ = run_module('plc_firmware', dict(ports=['/dev/pts/1'], model='LP4', image='/i.bin', plcfw=plcfw),
                          [(rc, reply)], check)
    assert ended.failed == (rc != 0)
    assert ended.result['changed'] is changed
    assert ended.result['rc'] == rc
    assert ended.result['report'] == reply
    assert ended.result['reason'] == reply['reason']
    for text in msg_has:
        assert text in ended.result['msg']
    if rc == 4:
        assert 'pts/1:' not in ended.result['msg']  # the PLC that succeeded is not named


@pytest.mark.parametrize('args, stdout, msg_has', [
    (dict(ports=['all', '/dev/a']), None, "'all' stands alone"),
    (dict(plcfw='/nonexistent/plcfw'), None, 'not an executable file: /nonexistent/plcfw'),
    (dict(), 'plcfw: unknown option --json\n', 'printed no JSON object'),
    (dict(), '[1, 2]', 'printed no JSON object'),
], ids=['all-beside-names', 'no-program', 'old-plcfw', 'not-an-object'])
def test_refused(run_module, plcfw, args, stdout, msg_has):
    ended, calls = run_module('plc_firmware', dict(dict(plcfw=plcfw), **args), [(2, stdout)])
    assert ended.failed
    assert msg_has in ended.result['msg']
    assert len(calls) == (1 if stdout else 0)
