#!/usr/bin/python
# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: plc_info
short_description: Tell which PLCs are attached to a host
description:
  - Lists the host's ports with C(plcfw --list-ports --json), each with its
    node, its udev by-path name and whether it is a PLC USB device.
  - With I(identify=true) it also runs C(plcfw --identify --json) on each PLC,
    which reports its mode, device type ID, model register and version.
  - Never writes to a PLC; identify sends read requests only. It runs in
    check mode as well and never reports C(changed).
version_added: "1.0.0"
author:
  - plcfwupdate developers
options:
  identify:
    description: Also identify each PLC.
    type: bool
    default: false
  ports:
    description:
      - The ports to identify.
      - Left out, every PLC USB device that C(--list-ports) finds, by its
        by-path name where udev made one. Serial PLCs must be named, as
        probing every serial port would send frames to whatever else is
        attached.
    type: list
    elements: str
  model:
    description: The model selected for identify (C(Fits) is judged against it).
    type: str
  plcfw:
    description: The plcfw program on the host. Left out, C(plcfw) from C(PATH).
    type: path
seealso:
  - module: vemora.plc.plc_firmware
'''

EXAMPLES = r'''
- name: Which PLCs are there, and what are they
  vemora.plc.plc_info:
    identify: true
  register: plc

- name: Show each PLC's model and version
  ansible.builtin.debug:
    msg: "{{ item.port }}: {{ item.facts.deviceId | default('-') }} {{ item.facts.version | default('') }}"
  loop: "{{ plc.plcs }}"
'''

RETURN = r'''
ports:
  description: The ports plcfw lists (name, node, byPath, usbLocation, plcUsb).
  returned: always
  type: list
  elements: dict
plcs:
  description:
    - With I(identify=true), one entry per identified port, in order.
    - C(port), C(rc) (0 the PLC answered and fits the model, 1 no answer or
      not fitting, 5 held by another run), C(reason), C(result) and C(facts)
      (C(mode), C(deviceId), C(model), C(version), C(fits), ... as plcfw
      reports them).
  returned: always
  type: list
  elements: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vemora.plc.plugins.module_utils.plcfw import (
    EXIT_INTERRUPTED, EXIT_USAGE, failure_message, plcfw_path, run_json)


def plc_usb_ports(listed):
    """The PLC USB devices, each by the name that survives a replug."""
    return [p.get('byPath') or p.get('node') for p in listed if p.get('plcUsb')]


def identify(module, plcfw, port):
    argv = [plcfw, '--identify', '--port', port]
    if module.params.get('model'):
        argv += ['--model', module.params['model']]
    rc, doc, err = run_json(module, argv)
    # No answer, a PLC of another model, or one held by another run are
    # facts about the host; a usage error or an interrupt are not.
    if rc in (EXIT_USAGE, EXIT_INTERRUPTED):
        module.fail_json(msg=failure_message(rc, doc), rc=rc, report=doc,
                         cmd=argv, stderr=err)
    plcs = doc.get('plcs') or [{}]
    return dict(port=port, rc=rc, reason=doc.get('reason'),
                result=doc.get('result'), facts=plcs[0].get('facts') or {},
                messages=plcs[0].get('messages') or [])


def main():
    module = AnsibleModule(
        argument_spec=dict(
            identify=dict(type='bool', default=False),
            ports=dict(type='list', elements='str'),
            model=dict(type='str'),
            plcfw=dict(type='path'),
        ),
        supports_check_mode=True,
    )
    plcfw = plcfw_path(module)
    rc, doc, err = run_json(module, [plcfw, '--list-ports'])
    if rc != 0:
        module.fail_json(msg=failure_message(rc, doc), rc=rc, report=doc, stderr=err)
    listed = doc.get('ports') or []
    plcs = []
    if module.params['identify']:
        ports = module.params['ports'] or plc_usb_ports(listed)
        plcs = [identify(module, plcfw, port) for port in ports]
    module.exit_json(changed=False, ports=listed, plcs=plcs)


if __name__ == '__main__':
    main()
