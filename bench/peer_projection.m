function r = peer_projection(TA, K, TB)
% Octave's projection TA.'*K*TB (plain transpose), written inside a named
% function so that the transposed product runs as Octave's fused operator.
  r = TA.' * K * TB;
end
