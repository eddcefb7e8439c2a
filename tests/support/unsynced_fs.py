#!/usr/bin/python3
"""unsynced_fs.py <mount point> <state file> <event file>: a file system in memory that loses, at
unmount, every byte written since a file's last fsync, as a power cut does; names and times stay,
as a journal keeps them. The state file carries the flushed data to the next mount; each fsync
appends "fsync <path>" to the event file, for a test to wait on."""
import errno
import os
import pickle
import stat
import sys
import time

from fusepy import FUSE, FuseOSError


class unsynced_fs:
    use_ns = True

    def __init__(self, state, events):
        self.state, self.events = state, events
        self.nodes = {'/': self.made(stat.S_IFDIR | 0o755)}
        if os.path.exists(state):
            with open(state, 'rb') as saved:
                self.nodes = pickle.load(saved)
        for node in self.nodes.values():
            node['data'] = bytearray(node['synced'])
            node['st_size'] = len(node['data']) if stat.S_ISREG(node['st_mode']) else 0

    def __call__(self, operation, *args):
        return getattr(self, operation)(*args)

    @staticmethod
    def made(mode):
        t = time.time_ns()
        return {'st_mode': mode, 'st_nlink': 1, 'st_size': 0, 'st_atime': t, 'st_mtime': t, 'st_ctime': t,
                'data': bytearray(), 'synced': b''}

    def node(self, path, changed=False):
        if path not in self.nodes:
            raise FuseOSError(errno.ENOENT)
        if changed:
            self.nodes[path]['st_mtime'] = self.nodes[path]['st_ctime'] = time.time_ns()
        return self.nodes[path]

    def under(self, path):
        prefix = path.rstrip('/') + '/'
        return [p for p in self.nodes if p.startswith(prefix) and len(p) > len(prefix)]

    def add(self, path, mode):
        self.node(os.path.dirname(path), changed=True)
        self.nodes[path] = self.made(mode)
        return 0

    def getattr(self, path, fh=None):
        return {k: v for k, v in self.node(path).items() if k.startswith('st_')}

    def readdir(self, path, fh):
        names = [p[len(path.rstrip('/')) + 1:] for p in self.under(path)]
        return ['.', '..'] + [name for name in names if '/' not in name]

    def mkdir(self, path, mode):
        self.add(path, stat.S_IFDIR | mode)

    def create(self, path, mode, fi=None):
        return self.add(path, stat.S_IFREG | mode)

    def read(self, path, size, offset, fh):
        return bytes(self.node(path)['data'][offset:offset + size])

    def write(self, path, data, offset, fh):
        self.truncate(path, max(offset, len(self.node(path)['data'])))
        content = self.node(path)['data']
        content[offset:offset + len(data)] = data
        self.node(path)['st_size'] = len(content)
        return len(data)

    def truncate(self, path, length, fh=None):
        content = self.node(path, changed=True)['data']
        del content[length:]
        content.extend(b'\0' * (length - len(content)))
        self.node(path)['st_size'] = length

    def unlink(self, path):
        self.node(os.path.dirname(path), changed=True)
        self.node(path)
        del self.nodes[path]

    def rename(self, old, new):
        moved = [old] + self.under(old)
        self.node(os.path.dirname(old), changed=True), self.node(os.path.dirname(new), changed=True)
        for path, node in [(p, self.nodes.pop(p)) for p in moved]:
            self.nodes[new + path[len(old):]] = node

    def chmod(self, path, mode):
        self.node(path)['st_mode'] = (self.node(path)['st_mode'] & ~0o7777) | (mode & 0o7777)

    def fsync(self, path, datasync, fh):
        self.node(path)['synced'] = bytes(self.node(path)['data'])
        with open(self.events, 'a') as events:
            events.write('fsync %s\n' % path)

    def destroy(self, path):
        # The power is gone: only what was flushed comes back.
        for node in self.nodes.values():
            del node['data']
        with open(self.state, 'wb') as saved:
            pickle.dump(self.nodes, saved)


if __name__ == '__main__':
    FUSE(unsynced_fs(*sys.argv[2:4]), sys.argv[1], foreground=True, nothreads=True,
         attr_timeout=0, entry_timeout=0, negative_timeout=0)
