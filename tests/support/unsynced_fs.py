#!/usr/bin/python3
"""A file system in memory that keeps a file's data only once it has been flushed to the disk:
as a power cut leaves a disk, every byte written since the file's last fsync is lost at unmount.
Names, folders and attributes are kept at once, as a journal keeps them.

    unsynced_fs.py <mount point> <state file> <event file>

Mounts in the foreground until unmounted (fusermount -u); the state file carries what was flushed
to the next mount. Each fsync appends "fsync <path>" to the event file, for a test to wait on.
"""
import errno
import os
import pickle
import stat
import sys
import time

from fusepy import FUSE, FuseOSError


def now():
    return time.time_ns()


class unsynced_fs:
    use_ns = True

    def __init__(self, state, events):
        self.state, self.events = state, events
        try:
            with open(state, 'rb') as saved:
                self.nodes = pickle.load(saved)
        except FileNotFoundError:
            t = now()
            self.nodes = {'/': {'st_mode': stat.S_IFDIR | 0o755, 'st_nlink': 2, 'st_atime': t,
                                'st_mtime': t, 'st_ctime': t}}
        for node in self.nodes.values():
            node['data'] = bytearray(node.get('synced', b''))
            if 'synced' in node:
                node['st_size'] = len(node['data'])

    def __call__(self, operation, *args):
        if not hasattr(self, operation):
            raise FuseOSError(errno.ENOSYS)
        return getattr(self, operation)(*args)

    def node(self, path):
        if path not in self.nodes:
            raise FuseOSError(errno.ENOENT)
        return self.nodes[path]

    def children(self, path):
        prefix = path.rstrip('/') + '/'
        return [p for p in self.nodes if p != path and p.startswith(prefix) and '/' not in p[len(prefix):]]

    def add(self, path, mode, is_file):
        if os.path.dirname(path) not in self.nodes:
            raise FuseOSError(errno.ENOENT)
        t = now()
        self.nodes[path] = {'st_mode': mode, 'st_nlink': 1 if is_file else 2, 'st_size': 0, 'st_atime': t,
                            'st_mtime': t, 'st_ctime': t, 'st_uid': os.getuid(), 'st_gid': os.getgid(),
                            'data': bytearray()}
        if is_file:
            self.nodes[path]['synced'] = b''
        self.touch(os.path.dirname(path))

    def touch(self, path):
        self.nodes[path]['st_mtime'] = self.nodes[path]['st_ctime'] = now()

    def getattr(self, path, fh=None):
        return {k: v for k, v in self.node(path).items() if k.startswith('st_')}

    def readdir(self, path, fh):
        return ['.', '..'] + [os.path.basename(p) for p in self.children(path)]

    def mkdir(self, path, mode):
        self.add(path, stat.S_IFDIR | mode, False)

    def rmdir(self, path):
        if self.children(path):
            raise FuseOSError(errno.ENOTEMPTY)
        self.node(path)
        del self.nodes[path]
        self.touch(os.path.dirname(path))

    def create(self, path, mode, fi=None):
        self.add(path, stat.S_IFREG | mode, True)
        return 0

    def open(self, path, flags):
        self.node(path)
        return 0

    def read(self, path, size, offset, fh):
        return bytes(self.node(path)['data'][offset:offset + size])

    def write(self, path, data, offset, fh):
        node = self.node(path)
        content = node['data']
        if offset > len(content):
            content.extend(b'\0' * (offset - len(content)))
        content[offset:offset + len(data)] = data
        node['st_size'] = len(content)
        self.touch(path)
        return len(data)

    def truncate(self, path, length, fh=None):
        node = self.node(path)
        del node['data'][length:]
        node['data'].extend(b'\0' * (length - len(node['data'])))
        node['st_size'] = length
        self.touch(path)

    def unlink(self, path):
        self.node(path)
        del self.nodes[path]
        self.touch(os.path.dirname(path))

    def rename(self, old, new):
        self.node(old)
        if new in self.nodes and stat.S_ISDIR(self.nodes[new]['st_mode']) and self.children(new):
            raise FuseOSError(errno.ENOTEMPTY)
        moved = {p: n for p, n in self.nodes.items() if p == old or p.startswith(old.rstrip('/') + '/')}
        for p in moved:
            del self.nodes[p]
        for p, n in moved.items():
            self.nodes[new + p[len(old):]] = n
        self.touch(os.path.dirname(old))
        self.touch(os.path.dirname(new))

    def chmod(self, path, mode):
        node = self.node(path)
        node['st_mode'] = (node['st_mode'] & ~0o7777) | (mode & 0o7777)

    def chown(self, path, uid, gid):
        pass

    def utimens(self, path, times=None):
        node = self.node(path)
        node['st_atime'], node['st_mtime'] = times if times else (now(), now())

    def fsync(self, path, datasync, fh):
        node = self.node(path)
        node['synced'] = bytes(node['data'])
        with open(self.events, 'a') as events:
            events.write('fsync %s\n' % path)

    def fsyncdir(self, path, datasync, fh):
        pass

    def flush(self, path, fh):
        pass

    def release(self, path, fh):
        pass

    def statfs(self, path):
        return {'f_bsize': 4096, 'f_frsize': 4096, 'f_blocks': 1 << 20, 'f_bfree': 1 << 19,
                'f_bavail': 1 << 19, 'f_files': 1 << 16, 'f_ffree': 1 << 15, 'f_namemax': 255}

    def destroy(self, path):
        # The power is gone: only what was flushed comes back.
        for node in self.nodes.values():
            node.pop('data', None)
        with open(self.state, 'wb') as saved:
            pickle.dump(self.nodes, saved)


if __name__ == '__main__':
    mount_point, state, events = sys.argv[1:4]
    FUSE(unsynced_fs(state, events), mount_point, foreground=True, nothreads=True,
         attr_timeout=0, entry_timeout=0, negative_timeout=0)
