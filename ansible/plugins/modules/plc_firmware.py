#!/usr/bin/python
# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: plc_firmware
short_description: Burn a firmware image into the PLCs attached to a host
description:
  - Runs C(plcfw --json --yes) on the host for the PLCs given in I(ports) and
    returns the JSON object plcfw prints.
  - In check mode it runs C(plcfw --check) instead, which reads the image,
    opens each port, probes and reads the device ID, model register and
    bootloader version, but never sends a writing request. The task then
    reports C(changed) where a burn would go ahead.
  - A burn always writes, as plcfw cannot tell whether a PLC already runs the
    image, so the task is not idempotent. Guard it with C(when) or tags.
  - The task fails when any PLC's run fails, with plcfw's message and reason
    per PLC. The other PLCs of the same run are burnt all the same.
  - Exit status 4 means the PLC accepted the erase and has no working program
    now; switch it off and on (a USB PLC is replugged) and run the play again
    for that host. The next run burns it from its bootloader.
  - Exit status 5 means another run or program holds a PLC and nothing was
    sent; such a task can be retried with C(retries), C(delay) and
    C(until) on C(result.rc != 5).
  - A burn of a large image over a slow line can take minutes; run the task
    with C(async) and C(poll) when it may outlast the SSH connection.
version_added: "1.0.0"
author:
  - plcfwupdate developers
options:
  ports:
    description:
      - The PLCs' ports on the host, each a port name (C(ttyUSB0)) or a
        device path (C(/dev/serial/by-path/...)); one run burns them all at
        once, each with a worker of its own.
      - C(all) takes every PLC of a USB model that plcfw's USB search finds
        (plcfw refuses C(all) for serial models).
      - Left out, plcfw picks the PLC as it does without C(--port).
    type: list
    elements: str
  model:
    description: The model name (C(LP4), C(VM500), ...). Left out, the model the build is made for.
    type: str
  image:
    description:
      - The raw firmware image, a path on the host.
      - Left out, the image built into plcfw, which fits only the model it is made for.
    type: path
  log:
    description:
      - The record file on the host; plcfw appends one JSON line per PLC.
      - Not written in check mode, which changes nothing on the host.
    type: path
  plcfw:
    description: The plcfw program on the host. Left out, C(plcfw) from C(PATH).
    type: path
notes:
  - Needs plcfw 1.10 or later on the host (C(--json), C(--check)).
  - Each PLC needs a port the remote user may open (the C(dialout) group, or
    the udev rule that the package installs for USB PLCs).
seealso:
  - module: vemora.plc.plc_info
'''

EXAMPLES = r'''
- name: Check that every PLC would take the image
  vemora.plc.plc_firmware:
    ports: [/dev/ttyUSB0, /dev/ttyUSB1]
    model: LP4
    image: /srv/firmware/lp4.bin
  check_mode: true

- name: Burn, retrying while another run holds a PLC
  vemora.plc.plc_firmware:
    ports: [/dev/ttyUSB0, /dev/ttyUSB1]
    model: LP4
    image: /srv/firmware/lp4.bin
    log: /var/log/plcfw/burn.jsonl
  register: burn
  retries: 5
  delay: 60
  until: burn.rc != 5

- name: Burn every USB PLC with the built-in image, in the background
  vemora.plc.plc_firmware:
    ports: all
  async: 1800
  poll: 15
'''

RETURN = r'''
rc:
  description: plcfw's exit status (0 success, 1 failed untouched, 2 usage, 3 interrupted, 4 failed after the erase, 5 held).
  returned: always
  type: int
report:
  description: The whole JSON object plcfw printed (schemaVersion, action, exitStatus, result, reason, plcs).
  returned: always
  type: dict
plcs:
  description: The object's C(plcs), one entry per PLC with its label, result, reason, erased and messages.
  returned: always
  type: list
  elements: dict
reason:
  description: Why the run ended (C(ok), C(transfer), C(busy), ...).
  returned: always
  type: str
cmd:
  description: The argument vector that was run.
  returned: always
  type: list
  elements: str
stderr:
  description: plcfw's notes and progress lines.
  returned: always
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vemora.plc.plugins.module_utils.plcfw import (
    EXIT_OK, failure_message, plcfw_path, run_json)


def build_argv(plcfw, params, check):
    argv = [plcfw, '--yes']
    if check:
        argv.append('--check')
    if params.get('model'):
        argv += ['--model', params['model']]
    if params.get('image'):
        argv += ['--image', params['image']]
    if params.get('log') and not check:
        argv += ['--log', params['log']]
    ports = params.get('ports') or []
    if ports == ['all']:
        argv.append('--all')
    else:
        for port in ports:
            argv += ['--port', port]
    return argv


def changed_by(doc, check):
    """Check mode: a burn would go ahead for some PLC; otherwise some PLC was
    written to, which includes one that failed after its erase."""
    plcs = doc.get('plcs') or []
    if check:
        return any(p.get('result') == 'ready' for p in plcs)
    return any(p.get('result') == 'success' or p.get('erased') for p in plcs)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            ports=dict(type='list', elements='str'),
            model=dict(type='str'),
            image=dict(type='path'),
            log=dict(type='path'),
            plcfw=dict(type='path'),
        ),
        supports_check_mode=True,
    )
    ports = module.params['ports'] or []
    if 'all' in ports and len(ports) > 1:
        module.fail_json(msg="ports: 'all' stands alone, not beside port names")
    argv = build_argv(plcfw_path(module), module.params, module.check_mode)
    rc, doc, err = run_json(module, argv)
    result = dict(rc=rc, report=doc, plcs=doc.get('plcs') or [],
                  reason=doc.get('reason'), cmd=argv, stderr=err,
                  changed=changed_by(doc, module.check_mode))
    if rc != EXIT_OK:
        module.fail_json(msg=failure_message(rc, doc), **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
