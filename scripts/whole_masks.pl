#!/usr/bin/env perl
# Usage: whole_masks.pl DIR FIRST LAST
# Exits 0 when every DIR/bin%06d.png from FIRST to LAST is a regular file that
# decodes whole, else names the first that does not (on standard output) and
# exits 1. Whole: the PNG signature, every chunk's CRC, the header first and
# the end chunk last, and image data that inflates (with its own checksum) to
# exactly the size the header gives; and the same header (size, pixel type) in
# every mask. A write cut short, or a file damaged anywhere, fails; the header
# and the end alone would not show damage between.
use strict;
use warnings;
use Compress::Zlib ();

my %channels = (0 => 1, 2 => 3, 3 => 1, 4 => 2, 6 => 4);

# The bytes of filtered image data for a WIDTH x HEIGHT image of BITS bits per
# pixel: a filter byte and the packed pixels per row, per Adam7 pass if
# interlaced.
sub data_size {
    my ($width, $height, $bits, $interlaced) = @_;
    my @passes = $interlaced
      ? ([0, 0, 8, 8], [4, 0, 8, 8], [0, 4, 4, 8], [2, 0, 4, 4], [0, 2, 2, 4], [1, 0, 2, 2],
         [0, 1, 1, 2])
      : ([0, 0, 1, 1]);
    my $size = 0;
    for my $pass (@passes) {
        my ($x0, $y0, $dx, $dy) = @$pass;
        my $columns = $width > $x0 ? int(($width - $x0 + $dx - 1) / $dx) : 0;
        my $rows = $height > $y0 ? int(($height - $y0 + $dy - 1) / $dy) : 0;
        $size += $rows * (1 + int(($columns * $bits + 7) / 8)) if $columns > 0;
    }
    return $size;
}

# The PNG header of the file when it decodes whole, else undef.
sub whole_png {
    my ($path) = @_;
    return undef unless -f $path;
    open(my $file, '<:raw', $path) or return undef;
    my $bytes = do { local $/; <$file> };
    return undef unless defined $bytes && substr($bytes, 0, 8) eq "\x89PNG\r\n\x1a\n";
    my ($at, $header, $data, $ended) = (8, undef, '', 0);
    while (!$ended) {
        return undef if $at + 12 > length $bytes;
        my ($length, $type) = unpack('N a4', substr($bytes, $at, 8));
        return undef if $at + 12 + $length > length $bytes;
        my $body = substr($bytes, $at + 8, $length);
        my $crc = unpack('N', substr($bytes, $at + 8 + $length, 4));
        return undef unless Compress::Zlib::crc32($type . $body) == $crc;
        return undef if !defined $header && $type ne 'IHDR';
        if ($type eq 'IHDR') {
            return undef if defined $header || $length != 13;
            $header = $body;
        } elsif ($type eq 'IDAT') {
            $data .= $body;
        } elsif ($type eq 'IEND') {
            $ended = 1;
        }
        $at += 12 + $length;
    }
    return undef unless $at == length $bytes;
    my ($width, $height, $depth, $colour, undef, undef, $interlaced) = unpack('N N C C C C C', $header);
    return undef unless exists $channels{$colour};
    my $pixels = Compress::Zlib::uncompress($data);
    return undef unless defined $pixels
      && length($pixels) == data_size($width, $height, $depth * $channels{$colour}, $interlaced);
    return $header;
}

my ($dir, $first, $last) = @ARGV;
my $first_header;
for my $frame ($first .. $last) {
    my $path = sprintf('%s/bin%.6d.png', $dir, $frame);
    my $header = whole_png($path);
    $first_header //= $header;
    next if defined $header && $header eq $first_header;
    print "$path\n";
    exit 1;
}
