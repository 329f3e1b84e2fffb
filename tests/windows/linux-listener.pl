#!/usr/bin/perl
# A Linux TCP peer for the Windows socket tests (CTest fixture): listens on a free
# port of 127.0.0.1 and sends every connection's bytes back to it until the peer
# closes, so a test under Wine can check byte for byte what went over the wire.
#   linux-listener.pl start STATE   (returns once it listens; the port in STATE.port)
#   linux-listener.pl stop STATE
use strict;
use warnings;
use IO::Socket::INET;
use POSIX qw(setsid _exit);

my ($command, $state) = @ARGV;
die "usage: $0 start|stop STATE\n" unless defined $state && $command =~ /^(start|stop)$/;
my ($port_file, $pid_file) = ("$state.port", "$state.pid");
unlink $port_file;
# A start also ends a listener an interrupted run left behind.
if (open(my $in, '<', $pid_file)) {
    chomp(my $pid = <$in> // '');
    kill 'TERM', -$pid, $pid if $pid =~ /^\d+$/;    # the daemon and its connections
    close $in;
    unlink $pid_file;
}
exit 0 if $command eq 'stop';

my $server = IO::Socket::INET->new(
    LocalAddr => '127.0.0.1', LocalPort => 0, Listen => 16, ReuseAddr => 1, Proto => 'tcp')
    or die "linux-listener: cannot listen: $!\n";

my $pid = fork() // die "linux-listener: fork: $!\n";
if ($pid) {
    # The port file appears only once the socket listens: a test that finds it can connect.
    open(my $out, '>', "$pid_file.tmp") or die "linux-listener: $pid_file: $!\n";
    print $out "$pid\n";
    close $out;
    rename "$pid_file.tmp", $pid_file;
    open($out, '>', "$port_file.tmp") or die "linux-listener: $port_file: $!\n";
    print $out $server->sockport(), "\n";
    close $out;
    rename "$port_file.tmp", $port_file;
    exit 0;
}

# The daemon: detached from CTest's pipes, one child per connection.
setsid();
open(STDIN, '<', '/dev/null');
open(STDOUT, '>', '/dev/null');
open(STDERR, '>', '/dev/null');
$SIG{CHLD} = 'IGNORE';
while (1) {
    my $client = $server->accept() or next;
    my $child = fork();
    if (defined $child && $child == 0) {
        close $server;
        my $buffer;
        while (1) {
            my $got = sysread($client, $buffer, 65536);
            last unless $got;
            my $offset = 0;
            while ($offset < $got) {
                my $put = syswrite($client, $buffer, $got - $offset, $offset);
                _exit(0) unless defined $put;
                $offset += $put;
            }
        }
        _exit(0);
    }
    close $client;
}
