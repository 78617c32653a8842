#!/usr/bin/perl
# Copies a Japanese manual page, giving groff a break point (\:) after each
# Japanese character that is not followed by closing punctuation: groff finds
# no place to break a line in Japanese text by itself.
# Usage: manual-breaks.pl IN OUT
use strict;
use warnings;
use utf8;
open(my $in, '<:encoding(UTF-8)', $ARGV[0]) or die "$ARGV[0]: $!\n";
open(my $out, '>:encoding(UTF-8)', $ARGV[1]) or die "$ARGV[1]: $!\n";
while (my $line = <$in>) {
  $line =~ s/([\x{3000}-\x{30FF}\x{4E00}-\x{9FFF}\x{FF00}-\x{FFEF}])(?=[^\n、。）」，：])/$1\\:/g
    unless $line =~ /^\.\\"/;
  print $out $line;
}
close($out) or die "$ARGV[1]: $!\n";
