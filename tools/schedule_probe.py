#!/usr/bin/python3
"""Schedules a split as a person would, through the accessibility tree of the
real program (../shared/tools/gui_probe.py, `scripts/setup --probe`): New Task,
Save Task, Save & Make Batch File, Create & Schedule Task, the wizard to its
Finish, then Tools > Scheduled Tasks lists the task. Everything lives in a
temporary home; the crontab is a file there.

usage: /usr/bin/python3 tools/schedule_probe.py BUILD_DIR GUI_PROBE_DIR
"""
import os
import shutil
import sys
import tempfile
import time

build, probe_dir = sys.argv[1], sys.argv[2]
sys.path.insert(0, probe_dir)
import gui_probe  # noqa: E402

home = tempfile.mkdtemp(prefix='lorvant-probe-')
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + '/.config',
           XDG_DATA_HOME=home + '/.local/share', LORVANT_CRONTAB=home + '/crontab',
           LORVANT_RUNNER=build + '/lorvant-runner', LORVANT_ENDPOINT='http://127.0.0.1:1')
with open(home + '/data.csv', 'w') as f:
    f.write(''.join('line %d\n' % i for i in range(100)))

with gui_probe.Session([build + '/Lorvant'], env=env, title_regex=r'^Lorvant') as s:
    s.click('New Task')
    split = s.wait_for_window(r'^Split Text File$')
    s.set_text('Text File:', home + '/data.csv')
    s.set_text('Output Folder:', home + '/out')
    s.click('Save Task')
    save = s.wait_for_window(r'^Save Session$')
    s.set_text('Session File', home + '/nightly.sft')
    s.click('Save & Make Batch File', within=save)
    batch = s.wait_for_window(r'^Create Batch File$')
    s.click('Create & Schedule Task', within=batch)
    wizard = s.wait_for_window(r'^Scheduled task wizard$')
    assert s.text_of(s.find_one(role='text', name='Application', within=wizard)) == \
        home + '/nightly.sh'
    s.click('Next >', within=wizard)
    s.set_text('Type a name for this task.  The task name can be the same name as the '
               'program name.', 'nightly split')
    for _ in range(3):  # name, one time only at the next minute, account
        s.click('Next >', within=wizard)
        time.sleep(0.3)
    s.click('Finish', within=wizard)
    listed = s.wait_for_window(r'^Task Scheduler$')
    assert s.find(role='table cell', name='nightly split', within=listed), s.tree(listed)
    s.key('Escape', window=listed)
    time.sleep(0.5)
    s.key('Escape', window=split)
    time.sleep(0.5)
    s.key('alt+t', window=s.find_window(r'^Lorvant$'))
    time.sleep(0.3)
    s.key('Return')
    listed = s.wait_for_window(r'^Task Scheduler$')
    print(s.tree(listed, showing_only=True))
    assert s.find(role='table cell', name='nightly split', within=listed)
    s.key('Escape', window=listed)
print('scheduled and listed; crontab:\n' + open(home + '/crontab').read())
shutil.rmtree(home, ignore_errors=True)
