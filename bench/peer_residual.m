function r = peer_residual(M, C, K, u, v, a, rayM, rayK)
% Octave's fastest form of the residual of a model: written inside a named
% function, each transposed product runs fused.
  r = M.' * a + C.' * v + K.' * u + rayM * (M.' * v) + rayK * (K.' * v);
end
