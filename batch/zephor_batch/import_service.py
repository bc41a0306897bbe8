"""zephor-import --serve for the workers: each worker thread keeps one server, started at its
first import, through which every import of that worker runs (the program's runs, without
starting the program and loading Open Babel's plugins each time).
An answer that does not come (a server that died or cannot start) is None: the caller then runs
the program itself."""
import locale
import os
import subprocess
import threading


def _counted(data):
    return b"%d\n%s" % (len(data), data)


class ImportServers:
    def __init__(self, program, env):
        self._command = [program, "--serve"]
        self._env = env
        self._local = threading.local()
        self._all = []
        self._lock = threading.Lock()

    def _server(self):
        server = getattr(self._local, "server", None)
        if server is None or server.poll() is not None:
            server = subprocess.Popen(self._command, env=self._env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL)
            self._local.server = server
            with self._lock:
                self._all.append(server)
        return server

    def run(self, arguments, stdin_text, folder):
        """(exit status, standard error's bytes) of zephor-import with these arguments (after its
        name) and standard input (None: empty) in folder, or None when no server answered."""
        server = None
        try:
            # Encoded as the subprocess module encodes a run's arguments and text input.
            stdin = (stdin_text or "").encode(locale.getpreferredencoding(False))
            request = (b"%d\n" % len(arguments) + b"".join(_counted(os.fsencode(a)) for a in arguments) +
                       _counted(stdin) + _counted(os.fsencode(os.path.abspath(folder))))
            server = self._server()
            server.stdin.write(request)
            server.stdin.flush()
            status, length = server.stdout.readline().split()
            messages = server.stdout.read(int(length))
            if len(messages) != int(length):
                raise EOFError
            # -1: a run the server cannot make as a process would (a folder it cannot enter).
            return (int(status), messages) if int(status) >= 0 else None
        except Exception:
            if server is not None:
                server.kill()
            self._local.server = None
            return None

    def close(self):
        with self._lock:
            servers, self._all = self._all, []
        for s in servers:
            try:
                s.stdin.close()
            except OSError:
                pass
            s.wait()
            s.stdout.close()
