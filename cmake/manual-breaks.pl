#!/usr/bin/perl
# Copies a Japanese manual page for groff, which finds no place to break a
# line in Japanese text by itself and turns every source line end into a
# space. It gives a break point (\:) after each Japanese character, except
# where Japanese line breaking (kinsoku) forbids one: never after an opening
# bracket, never before closing punctuation, the long vowel mark or small
# kana, nor before an unbreakable space (\~). A text line that ends in
# Japanese and goes on in the next text line gets \c, so that no space
# comes between the two.
# Usage: manual-breaks.pl IN OUT
use strict;
use warnings;
use utf8;
open(my $in, '<:encoding(UTF-8)', $ARGV[0]) or die "$ARGV[0]: $!\n";
open(my $out, '>:encoding(UTF-8)', $ARGV[1]) or die "$ARGV[1]: $!\n";
my $japanese = qr/[\x{3000}-\x{30FF}\x{4E00}-\x{9FFF}\x{FF00}-\x{FFEF}]/;
my $opening = qr/[（「『【〔［｛〈《]/;
my $noBreakBefore = qr/[、。，．：；！？）」』】〕］｝〉》ー・ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ]/;
my @lines = <$in>;
my $example = 0;
for my $i (0 .. $#lines) {
  my $line = $lines[$i];
  $example = 1 if $line =~ /^\.EX/;
  $example = 0 if $line =~ /^\.EE/;
  if ($line !~ /^\.\\"/) {
    $line =~ s/(?!$opening)($japanese)(?=[^\n])(?!$noBreakBefore|\\~)/$1\\:/g;
    # Joined to the next text line: a break point there too, where allowed.
    my $next = $i < $#lines ? $lines[$i + 1] : '';
    (my $first = $next) =~ s/^(?:\\f[BIRP])+//;
    my ($last) = $line =~ /($japanese)\n$/;
    if (!$example && $line !~ /^[.']/ && defined $last && $next =~ /^[^.'\n]/) {
      my $allowed = $last !~ $opening && $first !~ /^$noBreakBefore/;
      $line =~ s/\n$/($allowed ? '\\:' : '') . "\\c\n"/e;
    }
  }
  print $out $line;
}
close($out) or die "$ARGV[1]: $!\n";
