#!/usr/bin/env perl
# DADI-MERO's options as the program reads them, for scripts/run_dataset.sh.
#
#   run_options.pl record [options...]
#       prints the options that can change a mask, one a line, in the order the
#       program reads them: -threads (the masks are the same for every value),
#       unknown options and repeats (the program ignores them) are left out, so
#       that they never force a run again.
#   run_options.pl frames SEQDIR [options...]
#       prints "FIRST LAST SCORED_FIRST SCORED_LAST": the frames the program
#       writes masks for (none when FIRST > LAST) and, of those, the frames of
#       the sequence's temporal range, which are scored. Prints "unknown" when
#       the program will stop before writing a mask: an option without a usable
#       value, or a temporalROI.txt it cannot read.
#
# Mirrors the program: every option is taken, value and all, in a fixed order
# from the arguments (the first occurrence wins); integers convert as strtol in
# base 0 and clamp to 32 bits; then -end 0 means toIdx and -K 0 fromIdx - ini,
# and the masks are those of frames ini + K .. end.
use strict;
use warnings;
use Fcntl qw(O_RDONLY O_NONBLOCK);
use POSIX ();

my @order = qw(-ini -end -n -K -e1 -e2 -e1D -e2D -c1 -c2 -Cw -g -b -tS -tH -s -m -l -ROI
  -DADI -nameCE -threads);
my %integer = map { $_ => 1 } qw(-ini -end -n -K -Cw -s -m -l -ROI -DADI -threads);
my %real = map { $_ => 1 } qw(-e1 -e2 -e1D -e2D -c1 -c2 -g -b -tS -tH);

sub clamp32 {
    my ($value) = @_;
    return $value > 2147483647 ? 2147483647 : $value < -2147483648 ? -2147483648 : $value;
}

# The options the program takes from @arguments (its argv from the sequence
# on), as [name, value] in its order; undef when one has no usable value (the
# program then exits 2).
sub taken_options {
    my @arguments = @_;
    my @taken;
    for my $name (@order) {
        my ($at) = grep { $arguments[$_] eq $name } 0 .. $#arguments;
        next unless defined $at;
        return undef if $at == $#arguments;
        my $value = $arguments[ $at + 1 ];
        splice(@arguments, $at, 2);
        if ($integer{$name}) {
            my ($number, $unparsed) = POSIX::strtol($value, 0);
            return undef if $unparsed != 0;
            $value = clamp32($number);
            return undef if $name eq '-n' && !grep { $value == $_ } 1, 3, 5, 7, 9;
        } elsif ($real{$name}) {
            my (undef, $unparsed) = POSIX::strtod($value);
            return undef if $unparsed != 0;
        }
        push @taken, [ $name, $value ];
    }
    return \@taken;
}

# temporalROI.txt as the program reads it: ("read", from, to), ("missing") or
# ("unreadable").
sub temporal_range {
    my ($path) = @_;
    my $file;
    unless (sysopen($file, $path, O_RDONLY | O_NONBLOCK)) {
        return ($!{ENOENT} || $!{ENOTDIR}) ? ("missing") : ("unreadable");
    }
    return ("unreadable") unless -f $file;
    my $text = '';
    while (length($text) < 4096) {
        my $got = sysread($file, $text, 4096 - length($text), length($text));
        return ("unreadable") unless defined $got;
        last if $got == 0;
    }
    my $space = qr/[ \t\n\x0b\f\r]*/;
    $text =~ /\A$space([+-]?[0-9]++)$space([+-]?[0-9]++)/ or return ("unreadable");
    return ("read", clamp32($1 + 0), clamp32($2 + 0));
}

my $mode = shift @ARGV // '';
if ($mode eq 'record') {
    # A placeholder stands for the sequence, which the program also searches.
    my $taken = taken_options('/', @ARGV);
    print map { "$_\n" } $taken ? map { @$_ } grep { $_->[0] ne '-threads' } @$taken : @ARGV;
} elsif ($mode eq 'frames' && @ARGV >= 1) {
    my $sequence = shift @ARGV;
    my $taken = taken_options($sequence, @ARGV);
    my ($state, $from, $to) = temporal_range("$sequence/temporalROI.txt");
    if (!$taken || $state eq 'unreadable') {
        print "unknown\n";
        exit 0;
    }
    my %value = map { @$_ } @$taken;
    my $ini = $value{'-ini'} // 1;
    my $end = $value{'-end'} // 0;
    my $K = $value{'-K'} // 0;
    if ($state eq 'read') {
        $end = $to if $end == 0;
        $K = clamp32($from - $ini) if $K == 0;
    } else {
        $end = $ini if $end == 0;
        $K = 1 if $K == 0;
    }
    my ($first, $last) = ($ini + $K, $end);
    my ($scored_first, $scored_last) = ($first, $last);
    if ($state eq 'read') {
        $scored_first = $from if $from > $scored_first;
        $scored_last = $to if $to < $scored_last;
    }
    print "$first $last $scored_first $scored_last\n";
} else {
    print STDERR "usage: run_options.pl record [options...] | frames SEQDIR [options...]\n";
    exit 2;
}
