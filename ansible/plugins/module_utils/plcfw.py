# -*- coding: utf-8 -*-
# Shared by the modules: finding plcfw, running it with --json and reading
# the one object it prints.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os

# plcfw's exit statuses (see the README's "Why a run ended").
EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 3
EXIT_ERASED = 4
EXIT_HELD = 5

WHAT_TO_DO = {
    EXIT_FAILED: "the PLC's program was not touched",
    EXIT_USAGE: "usage error: nothing was opened",
    EXIT_INTERRUPTED: "the run was interrupted",
    EXIT_ERASED: "the PLC has no working program now: switch it off and on "
                 "(a USB PLC: replug it), then run the play again for this host",
    EXIT_HELD: "another run or program holds the PLC: nothing was sent; "
               "retry later (retries/until on rc == 5)",
}


def plcfw_path(module):
    """The plcfw program: the module's `plcfw` parameter, else from PATH."""
    path = module.params.get('plcfw')
    if not path:
        return module.get_bin_path('plcfw', required=True)
    if not (os.path.isfile(path) and os.access(path, os.X_OK)):
        module.fail_json(msg="plcfw is not an executable file: %s" % path)
    return path


def run_json(module, argv):
    """Runs plcfw with --json; returns (rc, the object, stderr).

    Fails the task when standard output is not one JSON object: plcfw prints
    one on every path, so anything else is a program that is not plcfw or
    one too old for --json."""
    rc, out, err = module.run_command(argv + ['--json'])
    try:
        doc = json.loads(out)
        if not isinstance(doc, dict):
            raise ValueError("not an object")
    except ValueError as e:
        module.fail_json(msg="plcfw printed no JSON object (%s)" % e, rc=rc,
                         cmd=argv + ['--json'], stdout=out, stderr=err)
    return rc, doc, err


def failure_lines(doc):
    """A line per PLC that did not end well: label, message and reason."""
    lines = []
    for plc in doc.get('plcs') or []:
        if plc.get('exitStatus', 0) == EXIT_OK:
            continue
        lines.append("%s: %s: %s (reason %s, exit status %s)" % (
            plc.get('label') or plc.get('port'), plc.get('caption', ''),
            plc.get('message', ''), plc.get('reason'), plc.get('exitStatus')))
    return lines


def failure_message(rc, doc):
    """The task's msg for a run that ended with a non-zero status."""
    if doc.get('result') == 'usage':
        return "plcfw: %s (reason usage)" % doc.get('error', 'usage error')
    lines = failure_lines(doc) or ["plcfw ended with reason %s" % doc.get('reason')]
    note = WHAT_TO_DO.get(rc)
    if note:
        lines.append(note)
    return "; ".join(lines)
