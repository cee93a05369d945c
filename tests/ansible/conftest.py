# The collection's modules run in-process with their arguments set as
# Ansible sets them, and run_command replaced by canned plcfw replies.
import json
import os
import sys

import pytest

COLLECTION = os.path.join(os.path.dirname(__file__), '..', '..', 'ansible')


@pytest.fixture(scope='session', autouse=True)
def collection_on_path(tmp_path_factory):
    # Modules import their shared code as ansible_collections.vemora.plc.
    root = tmp_path_factory.mktemp('collections')
    (root / 'ansible_collections' / 'vemora').mkdir(parents=True)
    os.symlink(os.path.abspath(COLLECTION), root / 'ansible_collections' / 'vemora' / 'plc')
    sys.path.insert(0, str(root))
    yield
    sys.path.remove(str(root))


class Exited(Exception):
    def __init__(self, failed, result):
        super().__init__(result.get('msg'))
        self.failed = failed
        self.result = result


@pytest.fixture
def plcfw(tmp_path):
    """An executable file to stand for plcfw (never run: run_command is mocked)."""
    path = tmp_path / 'plcfw'
    path.write_text('#!/bin/sh\nexit 99\n')
    path.chmod(0o755)
    return str(path)


def plc(label='pts/1', **fields):
    """A PLC entry of plcfw's JSON object."""
    entry = dict(label=label, port='/dev/' + label, caption='INFORMATION',
                 message='Firmware update is SUCCESSFUL', reason='ok',
                 erased=True, result='success', exitStatus=0)
    entry.update(fields)
    return entry


def doc(rc, reason, plcs, action='burn', result=None, **extra):
    d = dict(schemaVersion=1, action=action, exitStatus=rc, reason=reason, plcs=plcs,
             result=result or (plcs[0]['result'] if plcs else 'usage'))
    d.update(extra)
    return d


@pytest.fixture
def run_module(monkeypatch):
    """run_module(name, args, replies, check=False) -> (Exited, argvs).

    replies: (rc, stdout) per call of run_command in order; a dict stdout is
    sent as JSON."""
    from ansible.module_utils import basic
    from ansible.module_utils.common.text.converters import to_bytes

    def run(name, args, replies, check=False):
        calls = []
        replies = list(replies)

        def run_command(self, argv, **kwargs):
            calls.append(list(argv))
            rc, out = replies.pop(0)
            return rc, out if isinstance(out, str) else json.dumps(out), 'plcfw: notes\n'

        def exit_json(self, **kwargs):
            raise Exited(False, kwargs)

        def fail_json(self, **kwargs):
            raise Exited(True, kwargs)

        args = dict(args, _ansible_check_mode=check)
        monkeypatch.setattr(basic, '_ANSIBLE_ARGS', to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args})))
        monkeypatch.setattr(basic.AnsibleModule, 'run_command', run_command)
        monkeypatch.setattr(basic.AnsibleModule, 'exit_json', exit_json)
        monkeypatch.setattr(basic.AnsibleModule, 'fail_json', fail_json)
        module = __import__('ansible_collections.vemora.plc.plugins.modules.' + name,
                            fromlist=['main'])
        with pytest.raises(Exited) as ended:
            module.main()
        return ended.value, calls

    return run
