'''A stand-in for the desktop's screen saver service (org.freedesktop.ScreenSaver) for
python3-dbusmock: Inhibit hands out numbered cookies, UnInhibit takes them back; the mock's log
records every call.'''

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, _parameters):
    mock.cookie = 0
    mock.AddMethods(MAIN_IFACE, [
        ('Inhibit', 'ss', 'u', 'self.cookie += 1\nret = self.cookie'),
        ('UnInhibit', 'u', '', ''),
    ])
